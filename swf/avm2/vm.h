#pragma once

// The AS3 virtual machine: heap, namespaces, definitions, property access, calls, and the
// interpreter. Script exceptions travel as C++ exceptions of type ScriptThrow; engine limits
// (time, recursion, memory) as ScriptAbort, which no script `catch` sees.

#include "swf/avm2/abc.h"
#include "swf/avm2/frame.h"
#include "swf/avm2/object.h"
#include "swf/avm2/value.h"

#include <QHash>
#include <chrono>
#include <functional>
#include <memory>
#include <span>
#include <vector>

namespace swf::avm2 {

struct ScriptThrow {
    Value value;
};
struct ScriptAbort {
    std::string reason;
};

// A name ready for lookup: its local part and the namespaces it may be in.
struct Name {
    QString local;
    std::vector<int> nss; // namespace ids; empty with anyNs
    bool anyName = false, anyNs = false, attribute = false;
    bool hasPublic = false; // includes the public namespace (or AS3): dynamic properties count
};

struct ScriptEnv;
struct BitmapHost; // bitmaps.h

// What a name of the multiname pool found in the last few trait tables it was looked up in,
// keyed by the tables' serials (a miss is remembered too), and the script defining it.
struct NameCache {
    static constexpr int kWays = 4;
    std::uint64_t serial[kWays] = {};
    Binding* binding[kWays] = {};
    std::uint8_t next = 0;
    ScriptEnv* script = nullptr;
    std::uint64_t scriptGeneration = 0; // VM::definitionsGeneration when `script` was found
};
struct SharedObjects; // flash.net.SharedObject's open stores (builtins_sharedobject.cpp)

// An application domain: the definitions of the ABC blocks loaded into it. A name is looked up
// in the parent first, so a parent's definition wins over a child's of the same name; a domain
// without a parent sits under the system's (the native classes).
struct Domain {
    Domain* parent = nullptr;
    QHash<QString, std::vector<std::pair<int, ScriptEnv*>>> definitions;
};

// A method body decoded once, on its first run, for the interpreter. Each instruction is a word
// (opcode in the low 9 bits, its length in words above) and then its operands, already read from
// their variable-length forms; a branch operand is the word index of its target. Checks the raw
// bytes need (overrunning the body, branches off an instruction) are made here, once, and a
// fault becomes an instruction that reports it when it runs, as reading the bytes would have.
struct DecodedBody {
    static constexpr std::uint32_t kNoWord = 0xFFFFFFFFu;
    std::vector<std::uint32_t> words;
    std::vector<std::uint32_t> offsetOf; // word index of an instruction -> its byte offset
    std::vector<std::uint32_t> wordAt;   // byte offset -> word index (kNoWord: mid-instruction)
};

// One loaded ABC block with the runtime forms of its pools.
struct AbcEnv {
    std::shared_ptr<const Abc> abc;
    Domain* domain = nullptr;             // where its definitions live
    std::vector<int> nsIds;               // namespace pool index to namespace id
    std::vector<Name> names;              // multiname pool, compile-time parts resolved
    std::vector<Class*> classes;          // by class index, once newclass ran
    std::vector<Traits> activationTraits; // by body index, built on first use
    std::vector<bool> activationBuilt;
    std::vector<std::unique_ptr<DecodedBody>> decoded; // by body index, made on first run
    std::vector<std::unique_ptr<ScriptEnv>> scripts;
    std::vector<NameCache> nameCache;      // by multiname index, made on first use
    std::vector<Class*> typeCache;         // resolved types by multiname index (null: not yet)
    std::uint64_t typeCacheGeneration = 0; // VM::definitionsGeneration the cache answers for
};

struct ScriptEnv {
    AbcEnv* env = nullptr;
    std::uint32_t index = 0;
    Object* global = nullptr;
    Traits traits;
    enum class State : std::uint8_t { NotRun, Running, Done } state = State::NotRun;
};

struct Limits {
    // A sanitizer build runs scripts several times slower; its budget is the same work.
#if defined(__SANITIZE_ADDRESS__)
    std::chrono::milliseconds timeBudget{60000};
#else
    std::chrono::milliseconds timeBudget{15000};
#endif
    int maxCallDepth = 256;
    std::size_t maxObjects = std::size_t(8) << 20;
};

class VM {
public:
    VM();
    ~VM();
    VM(const VM&) = delete;
    VM& operator=(const VM&) = delete;

    // Loading and running scripts.
    // Into `domain` (null: the main movie's).
    bool loadAbc(std::shared_ptr<const Abc> abc, bool runEntry, Domain* domain = nullptr);
    // "pkg.Name" or "pkg::Name", as seen from `domain` (null: the running code's, else main's).
    Value lookupDefinition(const QString& qualified, Domain* domain = nullptr);
    ScriptEnv* findDefiningScript(const Name& name, int* nsOut = nullptr, Domain* domain = nullptr);
    // Application domains: the main movie's, and those made for loaded movies and scripts.
    // They live as long as the VM (their code may be referenced from anywhere).
    Domain* mainDomain() const { return m_domains.front().get(); }
    Domain* newDomain(Domain* parent);
    // The domain of the ABC code running now; null outside script code.
    Domain* runningDomain = nullptr;
    // Renewed whenever a domain gains definitions. A parent's definition wins over a child's,
    // so a name that resolved to a child's script may resolve elsewhere after a later load
    // into the parent: caches of where a name is defined hold only for one generation.
    std::uint64_t definitionsGeneration = 1;
    void ensureScript(ScriptEnv* s);

    // Heap.
    template <typename T, typename... A> T* make(A&&... args) {
        auto o = std::make_unique<T>(std::forward<A>(args)...);
        adopt(o.get()); // throws past the object cap: the object is freed here, not leaked
        return o.release();
    }
    void adopt(Object* o);
    std::size_t objectCount() const { return m_heap.size(); }
    void collectGarbage(const std::vector<Object*>& extraRoots = {});
    std::vector<Object*> hostRoots;

    // Namespaces.
    int internNs(NsKind kind, const QString& uri, std::uint32_t privateId = 0);
    int publicNs() const { return m_publicNs; }
    int as3Ns() const { return m_as3Ns; }
    QString nsUri(int id) const { return m_nsUris.value(id); }
    Name publicName(const QString& local) const;

    // Conversions (may call script code, so may throw).
    QString toString(const Value& v);
    double toNumber(const Value& v);
    std::int32_t toInt32(const Value& v);
    std::uint32_t toUint32(const Value& v);
    static bool toBoolean(const Value& v);
    Value toPrimitive(const Value& v, bool hintString);
    static QString numberToString(double d);
    Value coerce(const Value& v, Class* type);
    bool isType(const Value& v, Class* type);
    QString typeOf(const Value& v);
    bool strictEquals(const Value& a, const Value& b);
    bool looseEquals(const Value& a, const Value& b);
    // Three-valued a < b: 1 true, 0 false, -1 undefined (NaN).
    int lessThan(const Value& a, const Value& b);
    Class* classOf(const Value& v);
    QString describe(const Value& v); // for error messages

    // Property access.
    Value getProperty(const Value& obj, const Name& name);
    void setProperty(const Value& obj, const Name& name, const Value& v, bool init = false);
    bool deleteProperty(const Value& obj, const Name& name);
    bool hasProperty(const Value& obj, const Name& name);
    Value callProperty(const Value& obj, const Name& name, std::span<const Value> args,
                       bool lex = false);
    Value constructProperty(const Value& obj, const Name& name, std::span<const Value> args);
    Binding* findBinding(Object* o, const Name& name);
    Binding* findBindingIn(Traits* t, const Name& name);
    // findBindingIn through the cache of a multiname pool entry.
    Binding* findBindingCached(Traits* t, const Name& name, NameCache& cache) {
        if (!t)
            return nullptr;
        for (int i = 0; i < NameCache::kWays; ++i)
            if (cache.serial[i] == t->serial)
                return cache.binding[i];
        Binding* b = findBindingIn(t, name);
        const int w = cache.next++ % NameCache::kWays;
        cache.serial[w] = t->serial;
        cache.binding[w] = b;
        return b;
    }
    // getProperty and callProperty once the object's own traits were searched (b: the result).
    Value getPropertyWith(const Value& obj, Binding* b, const Name& name);
    Value callPropertyWith(const Value& obj, Binding* b, const Name& name,
                           std::span<const Value> args, bool lex);
    Value readBinding(const Value& receiver, Object* o, Binding* b, const Name& name);
    void writeBinding(const Value& receiver, Object* o, Binding* b, const Name& name,
                      const Value& v, bool init);
    Object* protoOf(const Value& v);
    Value getSlot(const Value& obj, std::uint32_t slot);
    void setSlot(const Value& obj, std::uint32_t slot, const Value& v);

    // Calls.
    Value call(const Value& fn, const Value& thisv, std::span<const Value> args);
    Value construct(const Value& ctor, std::span<const Value> args);
    Value runMethod(const MethodRef& m, const Value& thisv, std::span<const Value> args,
                    const ScopeChain& scope, Class* declaringClass, Function* callee = nullptr);
    // A native method, with the native stack's bound: natives that call back into the VM (an
    // array's toString joining an array that holds itself) recurse without any script frame.
    Value runNative(NativeFn fn, const Value& thisv, std::span<const Value> args);
    void constructInstance(Class* c, Object* instance, std::span<const Value> args);
    Object* allocInstance(Class* c);
    Function* makeMethodClosure(const Value& receiver, const Binding& b);
    Function* makeNative(const QString& name, NativeFn fn, int length = 0);

    // Errors.
    [[noreturn]] void throwError(const char* className, int id, const QString& message);
    [[noreturn]] void throwTypeError(int id, const QString& m) { throwError("TypeError", id, m); }
    [[noreturn]] void throwReferenceError(int id, const QString& m) {
        throwError("ReferenceError", id, m);
    }
    [[noreturn]] void throwRangeError(int id, const QString& m) { throwError("RangeError", id, m); }
    QString errorText(const Value& thrown);

    // Classes.
    Class* newClass(AbcEnv* env, std::uint32_t index, Class* base, const ScopeChain& scope);
    // Null for * (or unknown). A name once resolved is answered from the block's cache.
    Class* resolveType(AbcEnv* env, std::uint32_t multiname) {
        if (env->typeCacheGeneration == definitionsGeneration &&
            multiname < env->typeCache.size() && env->typeCache[multiname])
            return env->typeCache[multiname];
        return resolveTypeSlow(env, multiname);
    }
    Class* resolveTypeSlow(AbcEnv* env, std::uint32_t multiname);
    // Whether coerce(v, type) would give v back unchanged, for the common cases only (a
    // false answer just means coerce decides).
    bool hasTypeAlready(const Value& v, const Class* type) const {
        return (type == intClass && v.tag == Value::Tag::Int) ||
               (type == numberClass && v.isNumeric()) ||
               (type == booleanClass && v.tag == Value::Tag::Bool) ||
               (type == stringClass && v.tag == Value::Tag::String) ||
               (type == objectClass && v.tag == Value::Tag::Object) ||
               (v.tag == Value::Tag::Object && v.o->cls == type);
    }
    Class* resolveTypeUncached(AbcEnv* env, std::uint32_t multiname);
    Class* vectorClass(Class* elementType);
    Class* defineNativeClass(const QString& package, const QString& name, Class* base,
                             Object* (*alloc)(VM&, Class*) = nullptr, bool sealed = false);
    void defineGlobal(const QString& package, const QString& name, const Value& v);
    void addMethod(Class* c, const QString& name, NativeFn fn, int length = 0);
    void addStatic(Class* c, const QString& name, NativeFn fn, int length = 0);
    void addGetter(Class* c, const QString& name, NativeFn getter, NativeFn setter = nullptr);
    // A class property read (and written, with a setter) through native code.
    void addStaticGetter(Class* c, const QString& name, NativeFn getter, NativeFn setter = nullptr);
    void addStaticValue(Class* c, const QString& name, const Value& v);
    // A class variable of `type` that scripts may assign (coerced to the type).
    void addStaticVariable(Class* c, const QString& name, Class* type, const Value& v);
    // The value of a class variable made by addStaticVariable (undefined when there is none).
    Value staticVariable(Class* c, const QString& name);

    Object* newObject();
    Array* newArray(std::vector<Value> items = {});

    // Core classes.
    Class *classClass = nullptr, *objectClass = nullptr, *functionClass = nullptr,
          *arrayClass = nullptr, *stringClass = nullptr, *numberClass = nullptr,
          *intClass = nullptr, *uintClass = nullptr, *booleanClass = nullptr,
          *namespaceClass = nullptr, *errorClass = nullptr, *vectorClassGeneric = nullptr,
          *voidClass = nullptr, *qnameClass = nullptr, *regexpClass = nullptr, *dateClass = nullptr,
          *byteArrayClass = nullptr, *dictionaryClass = nullptr, *xmlClass = nullptr,
          *xmlListClass = nullptr, *movieClipClass = nullptr, *spriteClass = nullptr,
          *displayObjectClass = nullptr, *stageClass = nullptr, *eventDispatcherClass = nullptr,
          *eventClass = nullptr;
    Class* globalClass = nullptr; // each script's global object: not a definition scripts can name
    Object* builtins = nullptr;   // holds every native definition
    Traits builtinTraits;

    // Host hooks.
    std::function<void(const QString&)> traceHook;
    std::function<double()> clock; // milliseconds since the movie started
    Limits limits;
    int stageWidth = 550, stageHeight = 400;
    double frameRate = 24;
    class DisplayTree* displayTree = nullptr; // display objects' player side, set by the runtime
    std::shared_ptr<BitmapHost> bitmaps;      // what BitmapData needs of the movie and renderer
    // The movie's file and the folder of every movie's SharedObject stores; empty: none.
    QString moviePath, sharedObjectFolder;
    std::shared_ptr<SharedObjects> sharedObjects;
    std::shared_ptr<struct MediaHost> mediaHost; // sound, loading (media.h)
    // Refused requests and damaged stores; default: standard error.
    std::function<void(const QString&)> noticeHook;

    // Time budget for one entry from the host; 0 means no budget running.
    void beginEntry();
    void endEntry();
    void checkBudget();
    int callDepth = 0;
    int nativeDepth = 0;      // natives running (runNative)
    bool makingError = false; // throwError is constructing its error (see runNative)
    // Where the outermost running method's frame is, and how far below it calls may go
    // (threads get 8 MiB; natives called at the deepest level need room too).
    const char* nativeStackBase = nullptr;
    static constexpr std::size_t kMaxNativeStack = std::size_t(3) << 20;
    // Whether the native stack has grown past its bound since the outermost method, script or
    // native, began; `here` is a local of the calling frame.
    bool nativeStackExhausted(const char* here) {
        if (callDepth == 0 && nativeDepth == 0)
            nativeStackBase = here;
        return nativeStackBase && nativeStackBase - here > std::ptrdiff_t(kMaxNativeStack);
    }
    FrameArena frames; // registers and stacks of the running methods

    // Timers.
    struct Timer {
        int id;
        Value fn;
        std::vector<Value> args;
        double due, interval;
        bool repeat;
    };
    std::vector<Timer> timers;
    int nextTimerId = 1;
    void runTimers();

    std::vector<std::unique_ptr<AbcEnv>> envs;
    Object* domainMemory = nullptr;
    // `default xml namespace` (dxns) of the running method. It is lexical: a method sees the
    // one it set or the one of the code it is a closure of, never its caller's.
    QString defaultXmlNamespace;
    // The running method's own cell of it, which closures made there share (null: none).
    std::shared_ptr<QString> dxnsCell;

    // Enumeration cursors: 1-based positions over native entries, then dynamic properties.
    std::uint32_t enumNext(const Value& o, std::uint32_t cursor);
    Value enumName(const Value& o, std::uint32_t cursor);
    Value enumValue(const Value& o, std::uint32_t cursor);
    // The bytes behind ApplicationDomain.domainMemory, set by the ByteArray implementation.
    std::vector<std::uint8_t>* (*domainMemoryBytes)(Object*) = nullptr;
    // registerClassAlias (builtins_amf.cpp). Not traced: every class lives as long as the VM
    // (natives in `builtins`, ABC classes in their AbcEnv).
    QHash<QString, Class*> classAliases;
    std::vector<std::unique_ptr<Traits>> catchTraits;
    // Where the last uncaught exception passed, innermost first (for the report).
    std::vector<QString> unwindTrace;
    // String methods taking a RegExp, provided by the RegExp implementation.
    Value (*regexpSplit)(VM&, const QString&, const Value& re, std::size_t limit) = nullptr;
    Value (*regexpReplace)(VM&, const QString&, const Value& re, const Value& repl) = nullptr;
    Value (*regexpMatch)(VM&, const QString&, const Value& re, bool search) = nullptr;

    // Runs a method body in its frame: the registers (set up by runMethod), and room for the
    // operand stack and the scope stack as frameLayout sizes them. `lexicalDxns`: the default
    // XML namespace cell of the code a closure was made in (null: none, so the public namespace).
    Value execute(AbcEnv* env, const MethodInfo& mi, const MethodBody& body, Value* regs,
                  Value* stackRoom, ScopeEntry* scopeRoom, const ScopeChain& scope,
                  Class* declaringClass, const std::shared_ptr<QString>& lexicalDxns = nullptr);

private:
    void registerBuiltins();
    Traits buildTraits(AbcEnv* env, const std::vector<TraitInfo>& list, Class* declaring,
                       const ScopeChain& scope, std::size_t firstSlot, Traits* inherit);
    void initSlots(Object* o, Traits& t);
    Value constantValue(AbcEnv* env, const ConstantRef& c);
    void markFrom(std::vector<Object*>& stack);

    std::vector<Object*> m_heap;
    QHash<QString, int> m_nsIds;
    QHash<int, QString> m_nsUris;
    int m_publicNs = 0, m_as3Ns = 0;
    std::chrono::nanoseconds m_entryStart{}; // the thread's processor time at entry
    int m_entryDepth = 0;
    std::uint32_t m_budgetTick = 0;
    std::vector<std::pair<std::uint32_t, ScriptEnv*>> m_allScripts;
    std::vector<std::unique_ptr<Domain>> m_domains;

    friend struct Interp;
};

// Builtin installers, one per family of classes.
void installObjectClasses(VM& vm);
void installArray(VM& vm);
void installString(VM& vm);
void installNumbers(VM& vm);
void installMath(VM& vm);
void installErrors(VM& vm);
void installGlobals(VM& vm);
void installDisplay(VM& vm);
void installDate(VM& vm);
void installDictionary(VM& vm);
void installVector(VM& vm);
void installByteArray(VM& vm);
void installJson(VM& vm);
void installRegExp(VM& vm);
void installGeom(VM& vm);
void installBitmapData(VM& vm);
void installSharedObject(VM& vm);
void installMedia(VM& vm);
// Writes every SharedObject the movie opened, as the player does when a movie closes.
void closeSharedObjects(VM& vm);

Value arg(std::span<const Value> args, std::size_t i);

} // namespace swf::avm2
