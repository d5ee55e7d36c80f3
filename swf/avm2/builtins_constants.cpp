// The Flash API's classes of constants that frameworks name at start-up (Flex reads
// GradientType, StageDisplayState and IME's modes while it builds its components), and the
// events FullScreenEvent and HTTPStatusEvent. Each class is defined only when no other part
// of the API has defined it already.

#include "swf/avm2/display.h"

namespace swf::avm2 {

namespace {

using Constants = std::initializer_list<std::pair<const char*, const char*>>;

void constantClass(VM& vm, const char* package, const char* name, Constants strings) {
    const QString qualified = QString::fromLatin1(package) + QStringLiteral("::") + name;
    if (vm.lookupDefinition(qualified).object())
        return;
    Class* c = vm.defineNativeClass(QString::fromLatin1(package), QString::fromLatin1(name),
                                    vm.objectClass, nullptr, true);
    for (auto [k, v] : strings)
        vm.addStaticValue(c, QString::fromLatin1(k), Value(QString::fromLatin1(v)));
}

// An event with one more constructor argument after (type, bubbles, cancelable), kept under
// `field`.
template <const char* field, bool isBool>
Value extraEventCtor(VM& vm, const Value& self, std::span<const Value> args) {
    vm.eventClass->iinit.native(vm, self, args);
    if (Object* o = self.object()) {
        const Value v = arg(args, 3);
        o->setDynamic(QString::fromLatin1(field),
                      isBool ? Value(VM::toBoolean(v)) : Value(std::int32_t(vm.toInt32(v))));
    }
    return Value();
}

constexpr char kFullScreen[] = "fullScreen";
constexpr char kStatus[] = "status";

void eventClass(VM& vm, const char* name, NativeFn ctor, Constants types) {
    const QString qualified = QStringLiteral("flash.events::") + QString::fromLatin1(name);
    if (vm.lookupDefinition(qualified).object())
        return;
    Class* c = vm.defineNativeClass(QStringLiteral("flash.events"), QString::fromLatin1(name),
                                    vm.eventClass, allocDisplayNode);
    c->isSealed = false;
    c->iinit.native = ctor;
    for (auto [k, v] : types)
        vm.addStaticValue(c, QString::fromLatin1(k), Value(QString::fromLatin1(v)));
}

} // namespace

void installConstants(VM& vm) {
    constantClass(vm, "flash.display", "GradientType",
                  {{"LINEAR", "linear"}, {"RADIAL", "radial"}});
    constantClass(vm, "flash.display", "SpreadMethod",
                  {{"PAD", "pad"}, {"REFLECT", "reflect"}, {"REPEAT", "repeat"}});
    constantClass(vm, "flash.display", "InterpolationMethod",
                  {{"LINEAR_RGB", "linearRGB"}, {"RGB", "rgb"}});
    constantClass(vm, "flash.display", "CapsStyle",
                  {{"NONE", "none"}, {"ROUND", "round"}, {"SQUARE", "square"}});
    constantClass(vm, "flash.display", "JointStyle",
                  {{"BEVEL", "bevel"}, {"MITER", "miter"}, {"ROUND", "round"}});
    constantClass(vm, "flash.display", "LineScaleMode",
                  {{"HORIZONTAL", "horizontal"},
                   {"NONE", "none"},
                   {"NORMAL", "normal"},
                   {"VERTICAL", "vertical"}});
    constantClass(vm, "flash.display", "GraphicsPathWinding",
                  {{"EVEN_ODD", "evenOdd"}, {"NON_ZERO", "nonZero"}});
    constantClass(vm, "flash.display", "TriangleCulling",
                  {{"NEGATIVE", "negative"}, {"NONE", "none"}, {"POSITIVE", "positive"}});
    constantClass(vm, "flash.display", "StageQuality",
                  {{"BEST", "best"}, {"HIGH", "high"}, {"LOW", "low"}, {"MEDIUM", "medium"}});
    constantClass(vm, "flash.display", "StageDisplayState",
                  {{"FULL_SCREEN", "fullScreen"},
                   {"FULL_SCREEN_INTERACTIVE", "fullScreenInteractive"},
                   {"NORMAL", "normal"}});
    if (!vm.lookupDefinition(QStringLiteral("flash.display::GraphicsPathCommand")).object()) {
        Class* c = vm.defineNativeClass(QStringLiteral("flash.display"),
                                        QStringLiteral("GraphicsPathCommand"), vm.objectClass,
                                        nullptr, true);
        int i = 0;
        for (const char* k : {"NO_OP", "MOVE_TO", "LINE_TO", "CURVE_TO", "WIDE_MOVE_TO",
                              "WIDE_LINE_TO", "CUBIC_CURVE_TO"})
            vm.addStaticValue(c, QString::fromLatin1(k), Value(std::int32_t(i++)));
    }
    // The modes' values are their own names.
    constantClass(vm, "flash.system", "IMEConversionMode",
                  {{"ALPHANUMERIC_FULL", "ALPHANUMERIC_FULL"},
                   {"ALPHANUMERIC_HALF", "ALPHANUMERIC_HALF"},
                   {"CHINESE", "CHINESE"},
                   {"JAPANESE_HIRAGANA", "JAPANESE_HIRAGANA"},
                   {"JAPANESE_KATAKANA_FULL", "JAPANESE_KATAKANA_FULL"},
                   {"JAPANESE_KATAKANA_HALF", "JAPANESE_KATAKANA_HALF"},
                   {"KOREAN", "KOREAN"},
                   {"UNKNOWN", "UNKNOWN"}});
    eventClass(vm, "FullScreenEvent", extraEventCtor<kFullScreen, true>,
               {{"FULL_SCREEN", "fullScreen"},
                {"FULL_SCREEN_INTERACTIVE_ACCEPTED", "fullScreenInteractiveAccepted"}});
    eventClass(vm, "HTTPStatusEvent", extraEventCtor<kStatus, false>,
               {{"HTTP_STATUS", "httpStatus"}, {"HTTP_RESPONSE_STATUS", "httpResponseStatus"}});
}

} // namespace swf::avm2
