#pragma once

// Native state of flash.events and flash.display objects (one C++ type serves both: an
// event dispatcher with a place in the display tree, or an Event).

#include "swf/avm2/vm.h"

#include <map>

namespace swf::avm2 {

class DisplayNode : public Object {
public:
    explicit DisplayNode(Class* c) : Object(c, ObjectKind::DisplayObject) {}
    void traceChildren(std::vector<Object*>& out) override;

    struct Listener {
        Value fn;
        bool capture = false;
        int priority = 0;
    };
    std::map<QString, std::vector<Listener>> listeners;

    // Display tree.
    DisplayNode* parent = nullptr;
    std::vector<DisplayNode*> children;
    QString name;
    bool isStage = false, visible = true;
    double x = 0, y = 0, scaleX = 1, scaleY = 1, rotation = 0, alpha = 1;

    // MovieClip.
    int currentFrame = 1, totalFrames = 1;
    bool playing = true, pendingFrameScript = true;
    std::map<int, Value> frameScripts; // by zero-based frame

    // Event.
    QString eventType;
    bool bubbles = false, cancelable = false, stopped = false, stoppedNow = false,
         defaultPrevented = false;
    int phase = 2;
    Value eventTarget, eventCurrentTarget;
};

bool dispatchEvent(VM& vm, DisplayNode* target, const Value& event);
void dispatchSimple(VM& vm, DisplayNode* target, const QString& type, bool bubbles);

} // namespace swf::avm2
