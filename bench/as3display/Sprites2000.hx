// 2,000 sprites, each cleared and redrawn with Graphics and moved every frame: the load of a
// scripted AS3 animation. Built at 1280 x 720, 30 fps by run-sprites-bench.sh.

import flash.display.Sprite;
import flash.events.Event;

class Sprites2000 {
	static function main() {
		var root = flash.Lib.current;
		var sprites:Array<Sprite> = [];
		var vx:Array<Float> = [];
		var vy:Array<Float> = [];
		for (i in 0...2000) {
			var s = new Sprite();
			s.x = (i * 37) % 1280;
			s.y = (i * 53) % 720;
			root.addChild(s);
			sprites.push(s);
			vx.push(((i * 7) % 11) - 5);
			vy.push(((i * 5) % 9) - 4);
		}
		var frame = 0;
		root.addEventListener(Event.ENTER_FRAME, function(_) {
			frame++;
			for (i in 0...sprites.length) {
				var s = sprites[i];
				var x = s.x + vx[i], y = s.y + vy[i];
				if (x < 0 || x > 1280) vx[i] = -vx[i];
				if (y < 0 || y > 720) vy[i] = -vy[i];
				s.x = x;
				s.y = y;
				var g = s.graphics;
				g.clear();
				g.beginFill(((i * 40503) ^ (frame << 3)) & 0xFFFFFF);
				g.drawRect(-6, -6, 12, 12);
				g.endFill();
				g.lineStyle(1, 0);
				g.moveTo(-6, 0);
				g.lineTo(6, (frame + i) % 12 - 6);
			}
		});
	}
}
