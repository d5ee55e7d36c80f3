#pragma once

// The scene: a running movie's display lists, frame by frame. A Player runs the root timeline
// over an immutable Movie; every sprite placed on stage becomes a MovieClip with its own
// timeline and display list, and every button a ButtonInstance showing the records of its state.

#include "swf/drawing.h"
#include "swf/movie.h"
#include "swf/scriptfilters.h"

#include <QRectF>
#include <QString>
#include <QTransform>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace swf {

class MovieClip;
class ButtonInstance;
class Player;
class BitmapData;

// A movie running in a player: the one it was made with (level 0) or one a script loaded into a
// level or a clip. Every clip knows the movie whose timeline it runs; the character ids its
// placements and scripts name are looked up in that movie's dictionary.
class LoadedMovie {
public:
    const Movie& movie() const { return *m_movie; }
    const std::shared_ptr<const Movie>& shared() const { return m_movie; }
    std::uint8_t version() const { return m_movie->version(); }
    // Where it came from (`_url`).
    const QString& url() const { return m_url; }
    // The current definition of an id; differs from the movie's dictionary only where the
    // movie freed an id and defined it again.
    const Character* character(std::uint16_t id) const;

private:
    friend class Player;
    std::shared_ptr<const Movie> m_movie;
    QString m_url;
    std::unordered_map<std::uint16_t, const Character*> m_overrides; // freed and redefined ids
    std::unordered_set<const void*> m_initDone;
    // Stands for the movie's main timeline where a character is needed: the object of a clip
    // or level holding it.
    std::unique_ptr<Sprite> m_rootSprite;
};

// What a PlaceObject tag leaves at a depth: the character and its attributes.
struct Placement {
    std::int32_t depth = 0;
    std::uint16_t characterId = 0;
    QTransform matrix;
    ColorTransform colorTransform;
    std::uint16_t ratio = 0; // morph position 0..65535 or video frame
    QString name;
    std::uint16_t clipDepth = 0; // > 0: a mask over depths (depth, clipDepth]
    BlendMode blendMode = BlendMode::Normal;
    bool cacheAsBitmap = false;
    bool visible = true;
    std::optional<Rgba> backgroundColor;
    const std::vector<Filter>* filters = nullptr; // null: none
    // Filters a script set (MovieClip.filters): `filters` points into it. Shared so that every
    // copy of the placement keeps them alive.
    std::shared_ptr<const ScriptFilterList> scriptFilters;
    const std::vector<ClipAction>* clipActions = nullptr; // null: none
    // ActionScript 3's scrollRect (twips, in the object's own space): only that part of the
    // object is drawn, with its corner at the object's origin. Set by scripts only.
    std::optional<QRectF> scrollRect;
    // The matrix from what the object holds to its parent: its matrix, after the scroll
    // rectangle's offset when it has one.
    QTransform contentMatrix() const {
        return scrollRect ? QTransform::fromTranslate(-scrollRect->x(), -scrollRect->y()) * matrix
                          : matrix;
    }
    // The tag that put this character here; an object keeps its identity (and a sprite its
    // state) across seeks as long as the same tag placed it.
    const DisplayTag* placedBy = nullptr;
};

// One object on a display list.
class DisplayObject : public Placement {
public:
    const Character* character = nullptr; // never null for objects on a list

    bool isClipLayer() const { return clipDepth > 0; }
    // The sprite instance for Sprite characters, else null (also when a cycle or a limit
    // stopped it from being built).
    MovieClip* clip() const { return m_clip.get(); }
    ButtonInstance* button() const { return m_button.get(); }
    // Whether a script loaded another movie (or a picture) into this clip.
    bool holdsLoadedMovie() const { return m_holdsLoaded; }

    // Edit texts: what the field shows now, in the form the character holds (HTML when its
    // html flag is set). Starts as the tag's initial text; scripts change it.
    QString text;
    std::optional<Rgba> textColor; // set by scripts; else the character's
    // An input field with the focus: the index in its text (as scripts read it) that the caret
    // stands before; -1 for none.
    std::int32_t caret = -1;
    // What an input field shows instead of `text` while an input method composes into it:
    // `text` with the characters being composed (underlined) at the caret, always as HTML,
    // whatever the character's html flag. Scripts never see it.
    std::optional<QString> composedText;
    // The selected characters [selectionFrom, selectionTo) a field shows highlighted; -1: none.
    std::int32_t selectionFrom = -1, selectionTo = -1;

    // setMask: the clip whose outlines clip this object, and the object this one masks (it is
    // then not drawn itself). Both links are cut when either object leaves.
    DisplayObject* scriptMask() const { return m_scriptMask; }
    DisplayObject* masking() const { return m_masking; }

    // A script's bitmap shown here (attachBitmap), drawn one pixel per 20 twips.
    std::shared_ptr<const BitmapData> bitmapData;
    bool bitmapSmoothing = false;
    enum class PixelSnapping : std::uint8_t { Never, Auto, Always };
    PixelSnapping pixelSnapping = PixelSnapping::Auto;

private:
    friend class Player;
    friend class MovieClip;
    friend class PlayerScripting;
    std::unique_ptr<MovieClip> m_clip;
    std::unique_ptr<ButtonInstance> m_button;
    bool m_holdsLoaded = false;
    DisplayObject* m_scriptMask = nullptr;
    DisplayObject* m_masking = nullptr;
    // An edit text scripts made or changed holds a definition of its own (`character` is it).
    std::unique_ptr<EditText> m_ownText;
};

// Objects sorted by depth, lowest (drawn first) first.
class DisplayList {
public:
    const std::vector<std::unique_ptr<DisplayObject>>& objects() const { return m_objects; }
    std::size_t size() const { return m_objects.size(); }
    bool empty() const { return m_objects.empty(); }
    DisplayObject* at(std::int32_t depth) const;
    // By instance name, case-insensitively as AVM1 names before version 7 compare.
    DisplayObject* byName(const QString& name, Qt::CaseSensitivity cs = Qt::CaseInsensitive) const;

private:
    friend class Player;
    friend class MovieClip;
    std::vector<std::unique_ptr<DisplayObject>> m_objects;
};

// A running timeline: the root movie or a sprite instance.
class MovieClip {
public:
    const Timeline& timeline() const { return *m_timeline; }
    std::size_t frameCount() const { return m_timeline->frameCount(); }
    std::size_t currentFrame() const { return m_frame; } // 0-based
    bool isPlaying() const { return m_playing; }
    void play() { m_playing = true; }
    void stop() { m_playing = false; }
    const DisplayList& displayList() const { return m_list; }
    MovieClip* parent() const { return m_parent; }
    const Sprite* sprite() const { return m_sprite; } // null for the root
    // Nesting level: 0 for the root.
    std::size_t level() const { return m_level; }
    // The movie whose timeline and dictionary this clip runs.
    const LoadedMovie& origin() const { return *m_origin; }
    // Whether this clip shows a movie's main timeline: a level, or a clip a movie was loaded
    // into.
    bool isMovieRoot() const { return m_holds != nullptr; }
    // What scripts drew into this clip, drawn beneath its children; null if nothing ever was.
    const DrawingShape* drawing() const { return m_drawing.get(); }
    DrawingShape& editDrawing() {
        if (!m_drawing)
            m_drawing = std::make_unique<DrawingShape>(m_drawnEdges);
        return *m_drawing;
    }

private:
    friend class Player;
    friend class ButtonInstance;
    std::unique_ptr<DrawingShape> m_drawing;
    std::size_t* m_drawnEdges = nullptr; // the player's count over all drawings
    LoadedMovie* m_origin = nullptr;
    std::shared_ptr<LoadedMovie> m_holds; // movie roots only
    const Timeline* m_timeline = nullptr;
    const Sprite* m_sprite = nullptr;
    MovieClip* m_parent = nullptr;
    const Character* m_owner = nullptr; // the sprite or button character that holds this list
    std::size_t m_level = 0;
    std::size_t m_frame = 0;
    bool m_playing = true;
    DisplayList m_list;
};

enum class ButtonState : std::uint8_t { Up, Over, Down };

// A button on stage: its records for the current state as a display list.
class ButtonInstance {
public:
    const Button& button() const { return *m_button; }
    ButtonState state() const { return m_state; }
    // The children of the state shown, with each record's depth, matrix and colour transform.
    const DisplayList& displayList() const { return m_host.m_list; }
    MovieClip& host() { return m_host; }
    const MovieClip& host() const { return m_host; }

private:
    friend class Player;
    const Button* m_button = nullptr;
    ButtonState m_state = ButtonState::Up;
    MovieClip m_host; // no timeline of its own; holds the children and their sprites
};

// An action block for the scripting code to run, in the order the frames asked for them.
struct PendingAction {
    enum class Kind : std::uint8_t { Init, Frame };
    Kind kind = Kind::Frame;
    MovieClip* clip = nullptr; // the timeline the block runs in (for Init: the movie's root)
    std::span<const std::uint8_t> actions;
    std::uint16_t spriteId = 0; // Init only
};

struct PlayerLimits {
    std::size_t maxDisplayObjects = 100000; // on stage at once, over all levels
    std::size_t maxNesting = 64;            // sprites and buttons within each other
    int maxLevel = 16383;                   // _level numbers scripts may load into
    // Movies loaded by scripts whose code stays reachable (their functions may outlive them)
    // are kept until the player goes: at most this many bytes of them.
    std::size_t maxKeptBytes = std::size_t(512) << 20;
};

// Runs a movie: the root timeline and every sprite instance, frame by frame.
class Player {
public:
    explicit Player(std::shared_ptr<const Movie> movie, const PlayerLimits& limits = {});
    ~Player();
    Player(const Player&) = delete;
    Player& operator=(const Player&) = delete;

    const Movie& movie() const { return *m_movie; }
    MovieClip& root() { return *m_root; }
    const MovieClip& root() const { return *m_root; }
    // Levels above 0 that scripts loaded movies into, drawn in this order above the root. Each
    // is an object holding the level's clip; its matrix and colour transform move the level.
    const std::map<int, std::unique_ptr<DisplayObject>>& levels() const { return m_levels; }
    // The clip of a level (0: the root), or null.
    MovieClip* level(int n) const;
    // The level a clip without a parent shows, or -1.
    int levelOf(const MovieClip& clip) const;

    std::size_t frameCount() const { return m_root->frameCount(); }
    std::size_t currentFrame() const { return m_root->currentFrame(); } // 0-based
    bool isPlaying() const { return m_root->isPlaying(); }
    void play() { m_root->play(); }
    void stop() { m_root->stop(); }
    // Whether the root goes back to its first frame after the last (default) or stops there.
    void setLooping(bool loop) { m_looping = loop; }
    bool isLooping() const { return m_looping; }

    // One tick: every playing timeline moves on one frame (sprites loop; the root loops when
    // looping is on). Sprites already on stage advance before their parent's new frame.
    void advance();
    // Shows frame n of the root (0-based, clamped to the movie); the play state is unchanged.
    // Backward seeks rebuild the display list from the first frame.
    void gotoFrame(std::int64_t frame);
    // The same for any clip, as scripts need (gotoAndPlay on a sprite).
    void gotoFrame(MovieClip& clip, std::int64_t frame);
    // The player's Back and Forward: one frame, then stop. Rewind: frame 0, play state kept.
    void back();
    void forward();
    void rewind() { gotoFrame(0); }

    // The current definition of an id; differs from the movie's dictionary only where the
    // movie freed an id and defined it again.
    const Character* character(std::uint16_t id) const;
    // The background colour in effect (SetBackgroundColor), if any.
    std::optional<Rgba> backgroundColor() const { return m_background; }
    // A script's choice (Stage.color); the timeline's next colour or a rewind replaces it.
    void setBackgroundColor(Rgba c) { m_background = c; }
    // Changes whenever character() may answer differently (a frame freed or redefined an id,
    // or a rebuild from frame 0 undid that), so what was drawn by id must be drawn again.
    std::uint64_t dictionaryGeneration() const { return m_dictionaryGeneration; }

    // ActionScript 3's scrollRect on the document, whose clip is the root (it has no object of
    // its own): the root's drawing and its objects below `stageDepth` show only through
    // `rect` (twips, the root's space), moved by its corner. Objects from `stageDepth` on
    // belong to the stage beside the document and are not scrolled.
    struct RootWindow {
        QRectF rect;
        std::int32_t stageDepth = INT32_MAX;
        QTransform offset() const { return QTransform::fromTranslate(-rect.x(), -rect.y()); }
    };
    const std::optional<RootWindow>& rootWindow() const { return m_rootWindow; }
    void setRootWindow(std::optional<RootWindow> window) { m_rootWindow = std::move(window); }

    // The keyboard focus's rectangle (stage twips) drawn around a focused ActionScript 2
    // button or clip, above everything else; none when nothing shows one.
    const std::optional<QRectF>& focusRect() const { return m_focusRect; }
    void setFocusRect(std::optional<QRectF> rect) { m_focusRect = std::move(rect); }

    // Shows another state of a button on stage.
    void setButtonState(ButtonInstance& button, ButtonState state);

    // Action blocks queued by the last advance(), goto or button state change, in execution
    // order; the next of those clears them, so the scripting code takes them after each call.
    std::vector<PendingAction> takePendingActions() { return std::exchange(m_pending, {}); }
    std::size_t displayObjectCount() const { return m_objectCount; }

    // The object on its parent's list that shows this clip (null for the root).
    DisplayObject* objectOf(const MovieClip& clip) const;
    // The matrix from an object's space to the stage (twips), or nothing when the object is not
    // on the stage (removed, kept for its unload handlers, or never placed). The scroll
    // rectangles of the clips holding it count; the object's own does not. Objects other than
    // clips are looked for through the lists (a scan of the stage).
    std::optional<QTransform> stageMatrix(const DisplayObject& object) const;
    // The clip whose list holds `object` (a button's host for its records), or null when it
    // is on no list of the stage. Scans the stage's lists.
    const MovieClip* parentOf(const DisplayObject& object) const;

private:
    friend class PlayerScripting;
    std::optional<RootWindow> m_rootWindow;
    std::optional<QRectF> m_focusRect;
    // For scripting engines only, through PlayerScripting.
    MovieClip* placeClip(MovieClip& parent, std::uint16_t characterId, std::int32_t depth,
                         const QString& name, const Placement* copyFrom = nullptr);
    bool removeAt(MovieClip& parent, std::int32_t depth);
    DisplayObject* placeBitmap(MovieClip& parent, std::int32_t depth,
                               std::shared_ptr<const BitmapData> bitmap);
    void swapDepths(MovieClip& parent, std::int32_t a, std::int32_t b);
    void releaseUnloaded(std::size_t count = SIZE_MAX);
    std::unique_ptr<DisplayObject> makeObject(std::uint16_t characterId,
                                              const std::shared_ptr<const Movie>& library = {});
    std::unique_ptr<DisplayObject> makeText(std::unique_ptr<EditText> text);
    std::unique_ptr<DisplayObject> makeBitmap();
    bool attach(MovieClip& parent, std::unique_ptr<DisplayObject>& object, std::int32_t depth);
    std::unique_ptr<DisplayObject> detach(MovieClip& parent, const DisplayObject& object);
    void discard(std::unique_ptr<DisplayObject>& object) { destroy(object); }
    void setDepth(MovieClip& parent, DisplayObject& object, std::int32_t depth);
    static void setMask(DisplayObject& target, DisplayObject* mask);
    static void unlinkMasks(DisplayObject& object);
    void setLevels(MovieClip& clip, std::size_t level, std::size_t guard);
    std::size_t heightOf(const DisplayObject& object, std::size_t guard) const;
    std::function<void(DisplayObject&)> m_onObjectDestroyed;
    DisplayObject* placeText(MovieClip& parent, std::unique_ptr<EditText> text, std::int32_t depth,
                             const QString& name);
    std::function<void(MovieClip&)> m_onClipDestroyed;
    std::function<void(DisplayObject&)> m_onTextDestroyed;
    std::function<bool(const DisplayObject&)> m_hasUnloadHandler;

    void tick(MovieClip& clip);
    void showFrame(MovieClip& clip, std::size_t from, std::size_t to, bool rebuild);
    void showFirstFrame(MovieClip& clip, std::vector<MovieClip*>& created);
    using Placements = std::map<std::int32_t, Placement>;
    static void applyDisplayTag(const LoadedMovie& origin, Placements& placements,
                                const DisplayTag& tag);
    void reconcile(MovieClip& clip, Placements& placements, std::vector<MovieClip*>& created);
    std::unique_ptr<DisplayObject> instantiate(MovieClip& parent, const Placement& p,
                                               std::vector<MovieClip*>& created);
    void buildButtonChildren(ButtonInstance& b, std::vector<MovieClip*>& created);
    std::shared_ptr<LoadedMovie> makeOrigin(std::shared_ptr<const Movie> movie, const QString& url);
    MovieClip* movieRootOf(MovieClip& clip) const;
    bool showMovie(MovieClip& clip, std::shared_ptr<const Movie> movie, const QString& url);
    MovieClip* loadLevel(int level, std::shared_ptr<const Movie> movie, const QString& url);
    void unloadLevel(int level);
    void destroy(std::unique_ptr<DisplayObject>& object);
    void clearList(DisplayList& list);
    bool isAncestorOwner(const MovieClip& parent, const Character* c) const;
    bool wantsUnload(const DisplayObject& object, std::size_t depth) const;
    void forgetPending(const MovieClip& clip, std::size_t depth);

    std::shared_ptr<const Movie> m_movie;
    PlayerLimits m_limits;
    std::size_t m_drawnEdges = 0; // outlives every clip's drawing
    std::shared_ptr<LoadedMovie> m_main;
    std::unique_ptr<MovieClip> m_root;
    std::map<int, std::unique_ptr<DisplayObject>> m_levels;
    std::vector<std::shared_ptr<const Movie>> m_kept; // loaded movies with code
    std::size_t m_keptBytes = 0;
    bool m_looping = true;
    std::size_t m_objectCount = 0;
    std::optional<Rgba> m_background;
    std::vector<PendingAction> m_pending;
    std::uint64_t m_dictionaryGeneration = 0;
    std::unique_ptr<Sprite> m_emptySprite; // for createEmptyMovieClip
    const Sprite& emptySprite();
    MovieClip m_limbo; // the parent objects are built under before a script places them
    // Libraries of loaded movies that scripts make symbols from, kept while the player is.
    std::map<const Movie*, std::shared_ptr<LoadedMovie>> m_libraries;
    std::unique_ptr<Bitmap> m_scriptBitmap; // the character of every attachBitmap object
    std::vector<std::unique_ptr<DisplayObject>> m_unloaded;
    std::vector<std::unique_ptr<DisplayObject>> m_dying; // being released
    bool m_releasing = false; // destroying for good: nothing is kept for unload handlers
};

// What a scripting engine does to a player beyond what hosts do: objects scripts make, move
// and remove, and hooks told of objects going. Hosts run movies through MovieRunner, which
// hands the player to its engine; they never need this.
class PlayerScripting {
public:
    explicit PlayerScripting(Player& player) : m_player(player) {}

    // Instances made, removed and moved by scripts (attachMovie, duplicateMovieClip,
    // createEmptyMovieClip, removeMovieClip, swapDepths). They carry no placing tag, so
    // timeline seeks and loops leave them alone. `depth` is the list's own; whatever was there
    // is replaced. characterId 0 makes an empty clip. Return the new clip, or null when the
    // character is not a sprite or a limit is reached.
    MovieClip* placeClip(MovieClip& parent, std::uint16_t characterId, std::int32_t depth,
                         const QString& name, const Placement* copyFrom = nullptr) {
        return m_player.placeClip(parent, characterId, depth, name, copyFrom);
    }
    bool removeAt(MovieClip& parent, std::int32_t depth) {
        return m_player.removeAt(parent, depth);
    }
    // attachBitmap: an object showing `bitmap` at `depth` (replacing what was there), or null
    // at the object limit.
    DisplayObject* placeBitmap(MovieClip& parent, std::int32_t depth,
                               std::shared_ptr<const BitmapData> bitmap) {
        return m_player.placeBitmap(parent, depth, std::move(bitmap));
    }
    // Movies scripts load. A loaded movie replaces what a clip shows (the clip keeps its
    // place, name and properties; its children leave as if removed) or fills a level (made
    // when missing; level 0 is the root, whose stage size and frame rate stay). Its first frame
    // is shown at once and its actions queued. A null movie empties the clip or removes the
    // level. False / null when the player refuses (the kept-bytes limit, a level out of range).
    bool loadIntoClip(MovieClip& clip, std::shared_ptr<const Movie> movie, const QString& url) {
        return m_player.showMovie(clip, std::move(movie), url);
    }
    MovieClip* loadIntoLevel(int level, std::shared_ptr<const Movie> movie, const QString& url) {
        return m_player.loadLevel(level, std::move(movie), url);
    }
    void unloadLevel(int level) { m_player.unloadLevel(level); }

    // Edit texts scripts make (createTextField): the object holds its own definition. Whatever
    // was at `depth` is replaced. Null when a limit is reached.
    DisplayObject* placeText(MovieClip& parent, std::unique_ptr<EditText> text, std::int32_t depth,
                             const QString& name) {
        return m_player.placeText(parent, std::move(text), depth, name);
    }
    // The definition of an edit text on stage that scripts may change (its variable, its
    // HTML flag), a copy of the movie's made on first use; null for other objects.
    static EditText* ownText(DisplayObject& field);

    // setMask: `mask` (null: none) clips `target` and is no longer drawn itself. A mask serves
    // one object at a time, and an object has one mask: older links are cut.
    static void setMask(DisplayObject& target, DisplayObject* mask) {
        Player::setMask(target, mask);
    }

    // Exchanges what two depths of a list hold (either may be empty).
    void swapDepths(MovieClip& parent, std::int32_t a, std::int32_t b) {
        m_player.swapDepths(parent, a, b);
    }

    // Told of every sprite instance and button (its host clip) just before it is destroyed, so
    // script objects stop addressing it; the same for edit texts.
    std::function<void(MovieClip&)>& onClipDestroyed() { return m_player.m_onClipDestroyed; }
    std::function<void(DisplayObject&)>& onTextDestroyed() { return m_player.m_onTextDestroyed; }

    // ActionScript 3 keeps display objects alive off the display list: an object is made
    // unattached (`characterId` 0: an empty clip to draw into), moved onto a list at a depth,
    // taken off again whole (its clip keeps its frame, children and drawing) and finally
    // discarded. attach() refuses (and leaves `object` with the caller) when the nesting limit
    // would be passed. setDepth() moves an object within its list; a timeline object so moved
    // is the script's from then on, as the timeline no longer places it.
    std::unique_ptr<DisplayObject> makeObject(std::uint16_t characterId) {
        return m_player.makeObject(characterId);
    }
    // The same for a symbol of another movie's library (one a script loaded): the object and
    // the clips it holds name their characters in that movie.
    std::unique_ptr<DisplayObject> makeObject(std::uint16_t characterId,
                                              const std::shared_ptr<const Movie>& library) {
        return m_player.makeObject(characterId, library);
    }
    // An unattached edit text holding its own definition (`new TextField()`); null past the
    // object limit.
    std::unique_ptr<DisplayObject> makeText(std::unique_ptr<EditText> text) {
        return m_player.makeText(std::move(text));
    }
    // An unattached object showing a script's bitmap (AS3 Bitmap; `bitmapData` set later), or
    // null at the object limit.
    std::unique_ptr<DisplayObject> makeBitmap() { return m_player.makeBitmap(); }
    bool attach(MovieClip& parent, std::unique_ptr<DisplayObject>& object, std::int32_t depth) {
        return m_player.attach(parent, object, depth);
    }
    std::unique_ptr<DisplayObject> detach(MovieClip& parent, const DisplayObject& object) {
        return m_player.detach(parent, object);
    }
    void discard(std::unique_ptr<DisplayObject>& object) { m_player.discard(object); }
    // One timeline step of a clip held off the display list (and of the clips in it), as
    // advance() steps those on it.
    void advanceOffList(MovieClip& clip) { m_player.tick(clip); }
    void setDepth(MovieClip& parent, DisplayObject& object, std::int32_t depth) {
        m_player.setDepth(parent, object, depth);
    }
    // Told of every display object just before it is destroyed, wherever it is.
    std::function<void(DisplayObject&)>& onObjectDestroyed() {
        return m_player.m_onObjectDestroyed;
    }

    // Whether a clip has unload handlers. A clip leaving the stage whose subtree has any is
    // kept, off the display list and whole, until releaseUnloaded(), so that its handlers can
    // still run on it.
    std::function<bool(const DisplayObject&)>& hasUnloadHandler() {
        return m_player.m_hasUnloadHandler;
    }
    const std::vector<std::unique_ptr<DisplayObject>>& unloaded() const {
        return m_player.m_unloaded;
    }
    // Destroys the first `count` unloaded objects (all of them by default).
    void releaseUnloaded(std::size_t count = SIZE_MAX) { m_player.releaseUnloaded(count); }

private:
    Player& m_player;
};

} // namespace swf
