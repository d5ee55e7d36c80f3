// What movies check at start-up: the document's LoaderInfo of a movie played from a local
// file (wholly loaded, so bytesLoaded equals bytesTotal, and init then complete arrive once the
// first frame is constructed), its parameters, and the Stage's scale mode, alignment and frame
// rate as scripts set them. Expected output is written by hand in LoaderStage.expected from the
// ActionScript 3.0 Language Reference; the comment above each trace names the documented rule.
// frames: 2

import flash.display.StageAlign;
import flash.display.StageScaleMode;
import flash.events.Event;

class LoaderStage {
	static function main() {
		var root = flash.Lib.current;
		var info = root.loaderInfo;
		// bytesLoaded and bytesTotal are equal once the file is loaded; a movie is more than its
		// 8-byte header.
		trace((info.bytesLoaded == info.bytesTotal) + " " + (info.bytesTotal > 8));
		// actionScriptVersion is 3 for a movie of this kind; content is the document itself.
		trace(info.actionScriptVersion + " " + (info.content == root));
		// parameters holds the FlashVars: none were given.
		trace(Reflect.fields(info.parameters).length);
		// Display objects of one file share its LoaderInfo.
		var s = new flash.display.Sprite();
		trace(s.loaderInfo == info);
		// init: "the properties and methods of a loaded SWF file are accessible"; complete:
		// "when data has loaded successfully". init comes first.
		info.addEventListener(Event.INIT, function(_) trace("init"));
		info.addEventListener(Event.COMPLETE, function(e:Event) trace("complete " + (e.target == info)));
		// scaleMode takes the StageScaleMode values; align the StageAlign ones.
		var stage = root.stage;
		trace(stage.scaleMode);
		stage.scaleMode = StageScaleMode.NO_SCALE;
		stage.align = StageAlign.TOP_LEFT;
		trace(stage.scaleMode + " " + stage.align);
		// frameRate can be set by scripts and reads back.
		stage.frameRate = 12;
		trace(stage.frameRate);
		trace("main done");
	}
}
