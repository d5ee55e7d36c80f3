#pragma once

// Native state of flash.events and flash.display objects (one C++ type serves both: an
// event dispatcher with a place in the display tree, or an Event), and the tree that binds
// ActionScript display objects to the player's, so that the one renderer draws what scripts
// build.

#include "swf/avm2/vm.h"
#include "swf/player.h"
#include "swf/stylesheet.h"
#include "swf/textfields.h"

#include <QSizeF>
#include <functional>
#include <map>
#include <memory>
#include <unordered_map>

namespace swf::avm2 {

class DisplayTree;

// What ActionScript 3 keeps of a TextField beyond its edit text (builtins_text.cpp). The field
// shows `formats` as HTML from the first time a script touches it.
struct TextFieldState {
    FieldFormats formats;
    QString autoSize = QStringLiteral("none"), antiAliasType = QStringLiteral("normal");
    std::optional<QString> restrict;
    qsizetype selectionBegin = 0, selectionEnd = 0; // selectionEnd is where the caret stands
    QString preedit; // what an input method is composing at the caret, shown but not yet text
    bool alwaysShowSelection = false;
    // The htmlText a script set, as set: a style sheet (set then or later) is applied to it,
    // and htmlText reads it back while the field has a sheet. Other changes to the text drop it.
    std::optional<QString> sourceHtml;
    QString sourceShown; // what the field showed for it: any other change makes them differ
};

class DisplayNode : public Object {
public:
    DisplayNode(Class* c, DisplayTree* tree) : Object(c, ObjectKind::DisplayObject), tree(tree) {}
    ~DisplayNode() override;
    void traceChildren(std::vector<Object*>& out) override;

    struct Listener {
        Value fn;
        bool capture = false;
        int priority = 0;
    };
    std::map<QString, std::vector<Listener>> listeners;

    // Display tree. A display object is always backed by a player object: `obj` while on a
    // display list (owned there) or off it (owned by `owned`); the root's is the player's root
    // clip, with no object, and the stage has neither.
    DisplayTree* tree = nullptr;
    DisplayNode* parent = nullptr;
    bool isStage = false, isDisplay = false;
    swf::DisplayObject* obj = nullptr;
    swf::MovieClip* clip = nullptr; // the list of a container (and a movie clip's timeline)
    std::unique_ptr<swf::DisplayObject> owned;
    swf::Placement spare; // the attributes of the root and of objects whose player object went
    swf::Placement& place() { return obj ? static_cast<swf::Placement&>(*obj) : spare; }
    bool constructed = false, timelinePlaced = false;
    std::uint64_t serial = 0;      // order of making, for a fixed order among objects off the list
    std::int64_t scriptFrame = -1; // the frame whose frame script ran last
    std::map<int, Value> frameScripts; // by zero-based frame
    Object* graphics = nullptr;
    Value held; // kept alive with the node: a Bitmap's BitmapData
    bool mouseEnabled = true, mouseChildren = true, buttonMode = false;
    bool useHandCursor = true, doubleClickEnabled = false, mouseWheelEnabled = true;
    DisplayNode* hitArea = nullptr; // Sprite.hitArea: mouse hits test its shape instead
    Value accessibility, accessibilityImplementation; // kept for scripts; no screen reader

    std::unique_ptr<TextFieldState> text; // a TextField's, made on first use
    // Tab order: tabIndex -1 when not set; tabEnabled unset follows the object's kind.
    std::int32_t tabIndex = -1;
    std::optional<bool> tabEnabled;
    bool tabChildren = true;

    // flash.utils.Timer: its entry in the VM's timer queue while running (0: stopped).
    double timerDelay = 0;
    std::int32_t timerRepeat = 0, timerCount = 0;
    int timerId = 0;

    // Event.
    QString eventType;
    bool bubbles = false, cancelable = false, stopped = false, stoppedNow = false,
         defaultPrevented = false;
    int phase = 2;
    Value eventTarget, eventCurrentTarget;
};

// The binding between the VM's display objects and the player's. Script-placed children take
// depths after the highest child of their list (see swf/README.md); the stage's children other
// than the root live at the top of the root's list, from kStageDepth on.
class DisplayTree {
public:
    static constexpr std::int32_t kStageDepth = 0x40000000;

    DisplayTree(VM& vm, Player& player);
    ~DisplayTree();
    DisplayTree(const DisplayTree&) = delete;
    DisplayTree& operator=(const DisplayTree&) = delete;

    VM& vm;
    Player& player;
    PlayerScripting scripting;
    DisplayNode* stage = nullptr;
    DisplayNode* root = nullptr;

    // The node bound to a player object or clip, if any.
    DisplayNode* nodeOf(const swf::DisplayObject* o) const;
    // The children of a container, bottom first.
    std::vector<DisplayNode*> children(const DisplayNode* container) const;
    // Makes nodes for every object of `container`'s list (and below) that has none, of their
    // linked classes, not yet constructed. Returns the new ones, parents first.
    void bind(DisplayNode* container, std::vector<DisplayNode*>* made);
    // Runs the constructors of `n` (if not yet run) and of the unconstructed nodes below it;
    // timeline children constructed here hear added and addedToStage after their constructor.
    void construct(DisplayNode* n);
    void constructChildren(DisplayNode* n);
    // The class a character is an object of: its SymbolClass (in the domain of the movie whose
    // clip `in` lists it), else the base class.
    Class* classFor(const swf::DisplayObject& o, const swf::MovieClip* in = nullptr);
    // Movies a Loader showed with code of their own, and the domain each one's code is in;
    // kept as long as the VM, as their code is.
    std::vector<std::pair<std::shared_ptr<const swf::Movie>, Domain*>> scriptedMovies;
    // The character a class is linked to (0: none).
    std::uint16_t characterFor(Class* c);

    // Container operations (errors thrown as the Flash API documents them).
    void addChildAt(DisplayNode* parent, DisplayNode* child, std::size_t index);
    void removeChild(DisplayNode* parent, DisplayNode* child);
    void setChildIndex(DisplayNode* parent, DisplayNode* child, std::size_t index);
    bool onStage(const DisplayNode* n) const;

    // Nodes with enterFrame/exitFrame/frameConstructed/render listeners, on the list or not,
    // in the order they first listened. The runtime keeps those still listening alive; a node
    // that goes is taken out.
    std::vector<DisplayNode*> broadcasters;
    void listenBroadcast(DisplayNode* n);
    void broadcast(const QString& type);

    // Geometry, twips: the matrix from a node's space to the stage, and its bounds in its
    // own space (empty when it draws nothing).
    QTransform concatenated(const DisplayNode* n) const;
    // Whether a stage point (twips) lies inside the scroll rectangles of `n` and of every
    // object holding it: outside one of them nothing of `n` shows there.
    bool insideScrollWindows(const DisplayNode* n, QPointF stagePoint) const;
    // Without `strokes`, shapes count their outlines only (getRect).
    QRectF localBounds(const DisplayNode* n, bool strokes = true) const;
    QRectF boundsOf(const swf::DisplayObject& o, int guard, bool strokes = true) const;
    QRectF clipBounds(const swf::MovieClip& c, int guard, bool strokes = true) const;
    // Whether a point in the object's own space (twips) is in what it draws.
    bool shapeContains(const swf::DisplayObject& o, QPointF p, int guard) const;
    bool clipContains(const swf::MovieClip& c, QPointF p, int guard) const;
    QPointF mouse{-1e9, -1e9}; // the mouse on the stage, twips
    // The interactive object the mouse events at a stage point go to: the topmost object drawn
    // there, or its nearest mouse-enabled interactive ancestor, or the outermost ancestor that
    // keeps its children from the mouse; the stage when nothing is there.
    DisplayNode* mouseTarget(QPointF stageTwips);
    // Dispatches a MouseEvent of `type` to `target` (`delta`: a wheel's lines).
    void mouseEvent(DisplayNode* target, const QString& type, bool bubbles,
                    DisplayNode* related = nullptr, bool buttonDown = false, int delta = 0);
    // Whether `n` is an InteractiveObject (the stage included).
    bool interactive(const DisplayNode* n);
    void setHitArea(DisplayNode* owner, DisplayNode* area);
    void keyEvent(const QString& type, int keyCode, int charCode);
    // Set while a node for an existing player object is being allocated.
    swf::DisplayObject* pendingObject = nullptr;
    swf::MovieClip* pendingClip = nullptr;

    std::unordered_map<const swf::DisplayObject*, DisplayNode*> byObject;
    std::unordered_map<Class*, std::uint16_t> linkedIds;
    bool linkedScanned = false;
    std::unordered_map<QString, std::uint16_t> linkedByName;
    bool invalidated = false;          // stage.invalidate(): render before the next picture
    bool quitRequested = false;        // fscommand("quit")
    DisplayNode* focus = nullptr;      // stage.focus (kept alive by the runtime)
    DisplayNode* loaderInfo = nullptr; // the movie's LoaderInfo (made on first use)
    QString scaleMode = QStringLiteral("showAll"), align;
    QSizeF viewSize;            // the view in pixels, as the host last said
    std::size_t movieBytes = 0; // bytesLoaded == bytesTotal
    QString url;
    std::function<void(const QString&)> scaleModeChanged;
    // stage.displayState as scripts set it, and the host's full-screen command it drives.
    QString displayState = QStringLiteral("normal");
    std::function<void(bool)> fullScreenRequested;
    DisplayNode* over = nullptr;    // under the mouse (kept alive by the runtime)
    DisplayNode* pressed = nullptr; // where the button went down
    // The object the last click went to, while a second press may make it a double click.
    DisplayNode* lastClicked = nullptr;
    bool doublePress = false; // the host said the press now down is a double click's second

    // Objects the timeline took off (a frame without them, a goto), with where they were:
    // they hear removed and removedFromStage once the timeline's step is over, seeing their
    // parent and the stage as before. Nodes going in a collection are never listed.
    struct Leaving {
        DisplayNode* node;
        DisplayNode* parent;
        bool onStage;
    };
    std::vector<Leaving> leaving;
    bool discarding = false;
    void dispatchLeaving();
    // Objects held off the display list by scripts whose timelines (or children's) play on:
    // their clips are stepped with the stage's, in the order they were made.
    std::vector<DisplayNode*> playingOffList();
    std::uint64_t serials = 0;

private:
    void detachNode(DisplayNode* child, bool events);
    // The interactive object that takes the mouse at `parentPoint`: `n`, one below it, or
    // null. `shapeHit` says a non-interactive object (shape, bitmap, static text) is there,
    // which its container takes if it is mouse-enabled.
    DisplayNode* hitIn(DisplayNode* n, QPointF parentPoint, int guard, bool& shapeHit);
    bool hitAreaContains(const DisplayNode* area, QPointF stagePoint) const;
    Class* m_interactiveClass = nullptr;
    void reorder(DisplayNode* parent, const std::vector<DisplayNode*>& order,
                 const DisplayNode* moved);
};

bool dispatchEvent(VM& vm, DisplayNode* target, const Value& event);
void dispatchSimple(VM& vm, DisplayNode* target, const QString& type, bool bubbles);
// FullScreenEvent.FULL_SCREEN on the stage.
void dispatchFullScreen(VM& vm, bool full);
// The window entered or left full screen: stage.displayState follows, with its event.
void hostFullScreenChanged(VM& vm, bool full);
bool isBroadcastEvent(const QString& type);

// flash.text (builtins_text.cpp): TextField on the player's edit texts, TextFormat, Font and
// their constants, TextEvent and FocusEvent, tab order.
void installText(VM& vm, Class* displayObject, Class* interactiveObject);
// Whether instances of `c` are TextFields.
bool isTextFieldClass(const Class* c);
// A new flash.text.TextFormat holding `t` (its members unset in `t` are null).
Value formatObject(VM& vm, const TextFormatData& t);
// A new TextField's own definition: 100 by 100 pixels, dynamic, in the default format.
std::unique_ptr<EditText> newTextFieldDefinition();
// Whether `n` is a TextField; if so sets its box's width or height (pixels) as the Reference
// says text fields do, instead of scaling.
bool setTextFieldExtent(VM& vm, DisplayNode* n, double pixels, bool width);
// Moves the focus (stage.focus) to `to` (null: none): focusOut, then focusIn.
void changeFocus(VM& vm, DisplayNode* to);
// Input from the host: text typed (keys or an input method's committed text) and the editing
// and tab keys, for the focused object.
void typeText(VM& vm, const QString& typed);
void focusKey(VM& vm, int keyCode, bool shift, bool ctrl = false);
// The focused field's selected text for the clipboard (none from password fields); `cut`
// takes it out of an input field (a change).
QString takeSelectedText(VM& vm, bool cut);
// An input method's text being composed, shown at the focused input field's caret.
void composeText(VM& vm, const QString& preedit);
// The mouse moved with the button down: a field pressed extends its selection to it.
void dragSelect(VM& vm);
// A click on `target` gives it the focus when it takes it (text fields that are input or
// selectable); a click elsewhere takes it from a text field.
void focusOnClick(VM& vm, DisplayNode* target);
// The press now down is a double click's second: a text field under it selects the word there.
void selectWordOnDoubleClick(VM& vm);
// A wheel turned over `target`: a text field that allows it scrolls by `delta` lines.
void scrollOnWheel(VM& vm, DisplayNode* target, int delta);
// Whether `n` is a TextField the user can select in or type into (an I-beam pointer).
bool isEditableOrSelectableText(const DisplayNode* n);

// Sprite.hitArea, useHandCursor, doubleClickEnabled, SimpleButton.useHandCursor,
// TextField.mouseWheelEnabled (builtins_mouse.cpp); installed after the display classes.
void installMouse(VM& vm);
// A class defined by its qualified name ("flash.display::Sprite"), or null.
Class* classNamed(VM& vm, const char* qualified);
// The display and text classes already defined that are `base` or below it. Native classes copy
// their base's traits when they are defined, so a property added to a base afterwards must be
// added to each of these as well.
std::vector<Class*> definedClassesBelow(VM& vm, const char* base);
void installAccessibility(VM& vm);
// The Flash API's interfaces, and the names native classes answer to through them; last.
void installInterfaces(VM& vm);
// flash.xml: XMLDocument, XMLNode, XMLNodeType (builtins_xmldoc.cpp).
void installXmlDocument(VM& vm);
// flash.text.StyleSheet and TextField.styleSheet (builtins_stylesheet.cpp).
void installStyleSheet(VM& vm);
// The sheet a TextField was given (TextField.styleSheet), read into its styles; none when the
// field has none.
std::optional<StyleSheet> fieldStyleSheet(VM& vm, Object* field);
// Lays a field's htmlText (the one given, else the one kept) out again with its sheet, or
// without one when it has none.
void restyleTextField(VM& vm, DisplayNode* field, std::optional<QString> html = {});
// Classes of constants (GradientType, StageDisplayState...), FullScreenEvent, HTTPStatusEvent
// (builtins_constants.cpp): each only where nothing defined it before.
void installConstants(VM& vm);

// The LoaderInfo of the loaded movie `n` belongs to (builtins_media.cpp); null: the main one's.
DisplayNode* loadedMovieInfo(DisplayNode* n);

// Allocates display objects and events (the native class's allocator).
Object* allocDisplayNode(VM& vm, Class* c);

void installGraphics(VM& vm);
// Sprite's and Shape's `graphics`, added before their subclasses are defined.
void addGraphicsProperty(VM& vm, Class* c);

} // namespace swf::avm2
