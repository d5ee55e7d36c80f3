// What movies ask of the player at start-up: flash.system.Capabilities (this player: a Linux
// stand-alone player with sound and no network), System's memory figures, Security (inert: a
// local movie has nothing to allow), ExternalInterface (no container, so unavailable),
// flash.ui.Mouse (hide and show drive the view's pointer) and the Keyboard constants.

#include "swf/avm2/media.h"

#include <QFile>
#include <QGuiApplication>
#include <QLocale>
#include <QScreen>
#include <unistd.h>

namespace swf::avm2 {

namespace {

void addStaticGetter(VM& vm, Class* c, const char* name, NativeFn getter,
                     NativeFn setter = nullptr) {
    vm.addStaticGetter(c, QString::fromLatin1(name), getter, setter);
}

Value ignore(VM&, const Value&, std::span<const Value>) {
    return Value();
}

// --- Capabilities ---

QSize screenSize() {
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        if (const QScreen* s = QGuiApplication::primaryScreen())
            return s->size();
    return QSize(1024, 768);
}

// The player's language as Capabilities documents it: a two-letter code, and zh-CN or zh-TW
// for Chinese.
QString language() {
    const QLocale l = QLocale::system();
    if (l.language() == QLocale::Chinese)
        return l.script() == QLocale::TraditionalChineseScript ||
                       l.territory() == QLocale::Taiwan || l.territory() == QLocale::HongKong
                   ? QStringLiteral("zh-TW")
                   : QStringLiteral("zh-CN");
    const QString name = l.name().section(u'_', 0, 0);
    return name.isEmpty() || name == QLatin1String("C") ? QStringLiteral("en") : name;
}

Value capVersion(VM&, const Value&, std::span<const Value>) {
    return Value(QStringLiteral("LNX 32,0,0,0"));
}
Value capOs(VM&, const Value&, std::span<const Value>) {
    return Value(QStringLiteral("Linux"));
}
Value capPlayerType(VM&, const Value&, std::span<const Value>) {
    return Value(QStringLiteral("StandAlone"));
}
Value capManufacturer(VM&, const Value&, std::span<const Value>) {
    return Value(QStringLiteral("Adobe Linux"));
}
Value capLanguage(VM&, const Value&, std::span<const Value>) {
    return Value(language());
}
Value capScreenX(VM&, const Value&, std::span<const Value>) {
    return Value::number(screenSize().width());
}
Value capScreenY(VM&, const Value&, std::span<const Value>) {
    return Value::number(screenSize().height());
}
Value capDpi(VM&, const Value&, std::span<const Value>) {
    return Value::number(72);
}
Value capOne(VM&, const Value&, std::span<const Value>) {
    return Value::number(1);
}
Value capColor(VM&, const Value&, std::span<const Value>) {
    return Value(QStringLiteral("color"));
}
Value capCpu(VM&, const Value&, std::span<const Value>) {
    return Value(QStringLiteral("x86"));
}
Value capTouch(VM&, const Value&, std::span<const Value>) {
    return Value(QStringLiteral("none"));
}
Value capEmpty(VM&, const Value&, std::span<const Value>) {
    return Value(QString());
}
Value capTrue(VM&, const Value&, std::span<const Value>) {
    return Value(true);
}
Value capFalse(VM&, const Value&, std::span<const Value>) {
    return Value(false);
}
// The same facts as one URL-encoded string.
Value capServerString(VM&, const Value&, std::span<const Value>) {
    const QSize s = screenSize();
    return Value(QStringLiteral("A=t&SA=t&SV=t&EV=t&MP3=t&AE=t&VE=f&ACC=f&PR=f&SP=f&SB=f&DEB=f&V=%1"
                                "&M=%2&R=%3x%4&COL=color&AR=1.0&OS=Linux&ARCH=x86&L=%5&IME=t"
                                "&PR32=f&PR64=t&LS=&PT=StandAlone&AVD=t&LFD=f&WD=f&TLS=f&DD=f"
                                "&DDP=f&DTS=f&DTE=f&DTH=f&DTM=f")
                     .arg(QStringLiteral("LNX%2032%2C0%2C0%2C0"), QStringLiteral("Adobe%20Linux"))
                     .arg(s.width())
                     .arg(s.height())
                     .arg(language()));
}

// --- System ---

// The memory the player process holds, as System.totalMemory reports the player's.
double processMemory() {
    QFile f(QStringLiteral("/proc/self/statm"));
    if (f.open(QIODevice::ReadOnly)) {
        const QList<QByteArray> parts = f.readLine(256).split(' ');
        if (parts.size() > 1) {
            bool ok = false;
            const double pages = parts[1].toDouble(&ok);
            if (ok)
                return pages * double(sysconf(_SC_PAGESIZE));
        }
    }
    return 0;
}

Value sysTotalMemory(VM&, const Value&, std::span<const Value>) {
    return Value::fromUint(std::uint32_t(std::min(processMemory(), 4294967295.0)));
}
Value sysTotalMemoryNumber(VM&, const Value&, std::span<const Value>) {
    return Value::number(processMemory());
}
Value sysFreeMemory(VM&, const Value&, std::span<const Value>) {
    return Value::number(0);
}
Value sysVmVersion(VM&, const Value&, std::span<const Value>) {
    return Value(QStringLiteral("1.4.0"));
}
Value sysNull(VM&, const Value&, std::span<const Value>) {
    return Value::null();
}
Value sysUseCodePage(VM& vm, const Value&, std::span<const Value>) {
    return Value(media(vm).useCodePage);
}
Value setSysUseCodePage(VM& vm, const Value&, std::span<const Value> a) {
    media(vm).useCodePage = VM::toBoolean(arg(a, 0));
    return Value();
}

// --- Security ---

Value securitySandbox(VM&, const Value&, std::span<const Value>) {
    return Value(QStringLiteral("localTrusted"));
}

// --- ExternalInterface ---

[[noreturn]] void noContainer(VM& vm) {
    vm.throwError("Error", 2067,
                  QStringLiteral("The ExternalInterface is not available in this container. "
                                 "ExternalInterface requires Internet Explorer ActiveX, Firefox, "
                                 "Mozilla 1.7.5 and greater, or other browsers that support "
                                 "NPRuntime."));
}
Value externalRefused(VM& vm, const Value&, std::span<const Value>) {
    noContainer(vm);
}

// --- Mouse ---

Value mouseHide(VM& vm, const Value&, std::span<const Value>) {
    media(vm).mouseHidden = true;
    return Value();
}
Value mouseShow(VM& vm, const Value&, std::span<const Value>) {
    media(vm).mouseHidden = false;
    return Value();
}
Value mouseCursor(VM& vm, const Value&, std::span<const Value>) {
    return Value(media(vm).cursor);
}
Value setMouseCursor(VM& vm, const Value&, std::span<const Value> a) {
    const QString c = vm.toString(arg(a, 0));
    static const QStringList known = {QStringLiteral("auto"), QStringLiteral("arrow"),
                                      QStringLiteral("button"), QStringLiteral("hand"),
                                      QStringLiteral("ibeam")};
    if (!known.contains(c))
        vm.throwError("ArgumentError", 2008,
                      QStringLiteral("Parameter cursor must be one of the accepted values."));
    media(vm).cursor = c;
    return Value();
}

} // namespace

void installSystem(VM& vm) {
    const QString system = QStringLiteral("flash.system");
    Class* cap =
        vm.defineNativeClass(system, QStringLiteral("Capabilities"), vm.objectClass, nullptr, true);
    const std::pair<const char*, NativeFn> caps[] = {
        {"version", capVersion},
        {"os", capOs},
        {"playerType", capPlayerType},
        {"manufacturer", capManufacturer},
        {"language", capLanguage},
        {"screenResolutionX", capScreenX},
        {"screenResolutionY", capScreenY},
        {"screenDPI", capDpi},
        {"pixelAspectRatio", capOne},
        {"screenColor", capColor},
        {"cpuArchitecture", capCpu},
        {"touchscreenType", capTouch},
        {"maxLevelIDC", capEmpty},
        {"serverString", capServerString},
        {"hasAudio", capTrue},
        {"hasMP3", capTrue},
        {"hasStreamingAudio", capTrue},
        {"hasEmbeddedVideo", capTrue},
        {"hasIME", capTrue},
        {"avHardwareDisable", capTrue},
        {"supports64BitProcesses", capTrue},
        {"hasAudioEncoder", capFalse},
        {"hasVideoEncoder", capFalse},
        {"hasStreamingVideo", capFalse},
        {"hasAccessibility", capFalse},
        {"hasPrinting", capFalse},
        {"hasScreenBroadcast", capFalse},
        {"hasScreenPlayback", capFalse},
        {"hasTLS", capFalse},
        {"isDebugger", capFalse},
        {"isEmbeddedInAcrobat", capFalse},
        {"localFileReadDisable", capFalse},
        {"supports32BitProcesses", capFalse},
    };
    for (auto [n, f] : caps)
        addStaticGetter(vm, cap, n, f);
    vm.addStatic(cap, QStringLiteral("hasMultiChannelAudio"), capFalse);

    Class* sys =
        vm.defineNativeClass(system, QStringLiteral("System"), vm.objectClass, nullptr, true);
    addStaticGetter(vm, sys, "totalMemory", sysTotalMemory);
    addStaticGetter(vm, sys, "totalMemoryNumber", sysTotalMemoryNumber);
    addStaticGetter(vm, sys, "privateMemory", sysTotalMemoryNumber);
    addStaticGetter(vm, sys, "freeMemory", sysFreeMemory);
    addStaticGetter(vm, sys, "vmVersion", sysVmVersion);
    addStaticGetter(vm, sys, "ime", sysNull);
    addStaticGetter(vm, sys, "useCodePage", sysUseCodePage, setSysUseCodePage);
    // The collector runs between frames; a movie cannot stop the player or its clock.
    for (const char* n : {"gc", "pause", "resume", "exit", "setClipboard", "disposeXML",
                          "pauseForGCIfCollectionImminent"})
        vm.addStatic(sys, QString::fromLatin1(n), ignore);

    Class* sec =
        vm.defineNativeClass(system, QStringLiteral("Security"), vm.objectClass, nullptr, true);
    for (const char* n : {"allowDomain", "allowInsecureDomain", "loadPolicyFile", "showSettings"})
        vm.addStatic(sec, QString::fromLatin1(n), ignore);
    addStaticGetter(vm, sec, "sandboxType", securitySandbox);
    addStaticGetter(vm, sec, "exactSettings", capTrue, ignore);
    addStaticGetter(vm, sec, "disableAVM1Loading", capFalse, ignore);
    for (auto [k, v] : {std::pair<const char*, const char*>{"REMOTE", "remote"},
                        {"LOCAL_WITH_FILE", "localWithFile"},
                        {"LOCAL_WITH_NETWORK", "localWithNetwork"},
                        {"LOCAL_TRUSTED", "localTrusted"},
                        {"APPLICATION", "application"}})
        vm.addStaticValue(sec, QString::fromLatin1(k), Value(QString::fromLatin1(v)));
    Class* lc = vm.defineNativeClass(system, QStringLiteral("LoaderContext"), vm.objectClass);
    lc->isSealed = false;

    Class* ext =
        vm.defineNativeClass(QStringLiteral("flash.external"), QStringLiteral("ExternalInterface"),
                             vm.objectClass, nullptr, true);
    addStaticGetter(vm, ext, "available", capFalse);
    addStaticGetter(vm, ext, "objectID", sysNull);
    addStaticGetter(vm, ext, "marshallExceptions", capFalse, ignore);
    vm.addStatic(ext, QStringLiteral("call"), externalRefused);
    vm.addStatic(ext, QStringLiteral("addCallback"), externalRefused);

    const QString ui = QStringLiteral("flash.ui");
    Class* mouse = vm.defineNativeClass(ui, QStringLiteral("Mouse"), vm.objectClass, nullptr, true);
    vm.addStatic(mouse, QStringLiteral("hide"), mouseHide);
    vm.addStatic(mouse, QStringLiteral("show"), mouseShow);
    addStaticGetter(vm, mouse, "cursor", mouseCursor, setMouseCursor);
    addStaticGetter(vm, mouse, "supportsCursor", capTrue);
    addStaticGetter(vm, mouse, "supportsNativeCursor", capFalse);
    Class* cursor =
        vm.defineNativeClass(ui, QStringLiteral("MouseCursor"), vm.objectClass, nullptr, true);
    for (auto [k, v] : {std::pair<const char*, const char*>{"AUTO", "auto"},
                        {"ARROW", "arrow"},
                        {"BUTTON", "button"},
                        {"HAND", "hand"},
                        {"IBEAM", "ibeam"}})
        vm.addStaticValue(cursor, QString::fromLatin1(k), Value(QString::fromLatin1(v)));

    // Key codes as KeyboardEvent.keyCode gives them.
    Class* kb = vm.defineNativeClass(ui, QStringLiteral("Keyboard"), vm.objectClass, nullptr, true);
    auto key = [&](const QString& name, int code) {
        vm.addStaticValue(kb, name, Value::fromUint(std::uint32_t(code)));
    };
    for (char c = 'A'; c <= 'Z'; ++c)
        key(QString(QLatin1Char(c)), c);
    for (int d = 0; d <= 9; ++d) {
        key(QStringLiteral("NUMBER_%1").arg(d), 48 + d);
        key(QStringLiteral("NUMPAD_%1").arg(d), 96 + d);
    }
    for (int f = 1; f <= 15; ++f)
        key(QStringLiteral("F%1").arg(f), 111 + f);
    const std::pair<const char*, int> named[] = {
        {"BACKSPACE", 8},
        {"TAB", 9},
        {"ENTER", 13},
        {"COMMAND", 15},
        {"SHIFT", 16},
        {"CONTROL", 17},
        {"ALTERNATE", 18},
        {"CAPS_LOCK", 20},
        {"NUMPAD", 21},
        {"ESCAPE", 27},
        {"SPACE", 32},
        {"PAGE_UP", 33},
        {"PAGE_DOWN", 34},
        {"END", 35},
        {"HOME", 36},
        {"LEFT", 37},
        {"UP", 38},
        {"RIGHT", 39},
        {"DOWN", 40},
        {"INSERT", 45},
        {"DELETE", 46},
        {"NUMPAD_MULTIPLY", 106},
        {"NUMPAD_ADD", 107},
        {"NUMPAD_ENTER", 108},
        {"NUMPAD_SUBTRACT", 109},
        {"NUMPAD_DECIMAL", 110},
        {"NUMPAD_DIVIDE", 111},
        {"SEMICOLON", 186},
        {"EQUAL", 187},
        {"COMMA", 188},
        {"MINUS", 189},
        {"PERIOD", 190},
        {"SLASH", 191},
        {"BACKQUOTE", 192},
        {"LEFTBRACKET", 219},
        {"BACKSLASH", 220},
        {"RIGHTBRACKET", 221},
        {"QUOTE", 222},
    };
    for (auto [n, c] : named)
        key(QString::fromLatin1(n), c);
    addStaticGetter(vm, kb, "capsLock", capFalse);
    addStaticGetter(vm, kb, "numLock", capFalse);
    vm.addStatic(kb, QStringLiteral("isAccessible"), capFalse);
}

} // namespace swf::avm2
