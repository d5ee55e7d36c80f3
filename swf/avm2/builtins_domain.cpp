// flash.system.ApplicationDomain on the VM's domains (vm.h), and LoaderContext, whose
// applicationDomain chooses where a Loader puts a movie's code.

#include "swf/avm2/bitmaps.h"
#include "swf/avm2/media.h"
#include "swf/movie.h"

namespace swf::avm2 {

namespace {

// A script's handle on a domain. `new ApplicationDomain()` makes no VM domain until code is
// loaded into it, so that scripts making handles in a loop hold nothing for good.
class DomainObject : public Object {
public:
    using Object::Object;
    Domain* domain = nullptr; // null: not made yet, or the system's
    Domain* parent = nullptr; // of one not made yet (null: under the system's)
    bool system = false;
};

// Has no definitions and no parent: what the system's domain sees beyond the native classes.
Domain* systemView() {
    static Domain empty;
    return &empty;
}

Object* allocDomain(VM& vm, Class* c) {
    return vm.make<DomainObject>(c);
}

Class* domainClass(VM& vm) {
    Object* c = vm.lookupDefinition(QStringLiteral("flash.system::ApplicationDomain")).object();
    return c && c->kind == ObjectKind::Class ? static_cast<Class*>(c) : nullptr;
}

DomainObject* asDomain(const Value& v) {
    Object* o = v.object();
    return o && o->cls && o->kind == ObjectKind::Plain ? dynamic_cast<DomainObject*>(o) : nullptr;
}

DomainObject* self(VM& vm, const Value& v) {
    DomainObject* d = asDomain(v);
    if (!d)
        vm.throwTypeError(1004, QStringLiteral("Method was invoked on an incompatible object."));
    return d;
}

Value handle(VM& vm, Domain* d, bool system) {
    // The system's handle is the only one without a domain.
    Class* c = domainClass(vm);
    if (!c)
        return Value::null();
    auto* o = static_cast<DomainObject*>(vm.allocInstance(c));
    o->domain = d;
    o->system = system;
    return Value(static_cast<Object*>(o));
}

// Where lookups through a handle start.
Domain* lookupStart(DomainObject* d) {
    if (d->domain)
        return d->domain;
    if (d->parent)
        return d->parent;
    return systemView();
}

Value domainCtor(VM& vm, const Value& thisv, std::span<const Value> a) {
    DomainObject* d = self(vm, thisv);
    const Value p = arg(a, 0);
    if (!p.isNullish()) {
        DomainObject* parent = asDomain(p);
        if (!parent)
            vm.throwTypeError(1034, QStringLiteral("Type Coercion failed: cannot convert %1 to "
                                                   "flash.system.ApplicationDomain.")
                                        .arg(vm.describe(p)));
        d->parent = realizeDomain(vm, p);
    }
    return Value();
}

Value currentDomain(VM& vm, const Value&, std::span<const Value>) {
    return handle(vm, vm.runningDomain ? vm.runningDomain : vm.mainDomain(), false);
}

Value parentDomain(VM& vm, const Value& thisv, std::span<const Value>) {
    DomainObject* d = self(vm, thisv);
    if (d->system)
        return Value::null();
    Domain* p = d->domain ? d->domain->parent : d->parent;
    return p ? handle(vm, p, false) : handle(vm, nullptr, true);
}

Value hasDefinition(VM& vm, const Value& thisv, std::span<const Value> a) {
    DomainObject* d = self(vm, thisv);
    return Value(!vm.lookupDefinition(vm.toString(arg(a, 0)), lookupStart(d)).isUndefined());
}

Value getDefinition(VM& vm, const Value& thisv, std::span<const Value> a) {
    DomainObject* d = self(vm, thisv);
    const QString name = vm.toString(arg(a, 0));
    const Value v = vm.lookupDefinition(name, lookupStart(d));
    if (v.isUndefined())
        vm.throwReferenceError(1065, QStringLiteral("Variable %1 is not defined.").arg(name));
    return v;
}

// new LoaderContext(checkPolicyFile = false, applicationDomain = null, securityDomain = null)
Value loaderContextCtor(VM&, const Value& thisv, std::span<const Value> a) {
    Object* o = thisv.object();
    if (!o)
        return Value();
    o->setDynamic(QStringLiteral("checkPolicyFile"), Value(VM::toBoolean(arg(a, 0))));
    o->setDynamic(QStringLiteral("applicationDomain"), a.size() > 1 ? a[1] : Value::null());
    o->setDynamic(QStringLiteral("securityDomain"), a.size() > 2 ? a[2] : Value::null());
    return Value();
}

} // namespace

Value domainHandle(VM& vm, Domain* domain) {
    return handle(vm, domain ? domain : vm.mainDomain(), false);
}

Domain* realizeDomain(VM& vm, const Value& handleValue) {
    DomainObject* d = asDomain(handleValue);
    if (!d)
        return nullptr;
    if (d->system)
        return vm.newDomain(nullptr); // code given to the system's goes into a top domain
    if (!d->domain)
        d->domain = vm.newDomain(d->parent);
    return d->domain;
}

std::pair<const Movie*, std::uint16_t> linkedSymbol(VM& vm, Class* c) {
    std::vector<std::pair<const Movie*, Domain*>> movies;
    if (vm.displayTree)
        movies.emplace_back(&vm.displayTree->player.movie(), vm.mainDomain());
    else if (vm.bitmaps && vm.bitmaps->movie)
        movies.emplace_back(vm.bitmaps->movie.get(), vm.mainDomain());
    if (vm.displayTree)
        for (const auto& [m, d] : vm.displayTree->scriptedMovies)
            movies.emplace_back(m.get(), d);
    for (int guard = 0; c && guard < 64; c = c->base, ++guard) {
        const QString dotted = c->package.isEmpty() ? c->name : c->package + u'.' + c->name;
        for (const auto& [movie, domain] : movies)
            for (const auto& s : movie->symbolClasses) {
                if (s.characterId == 0 || s.name != dotted)
                    continue;
                // Only the movie whose domain this class is of: another may use the name too.
                if (vm.lookupDefinition(s.name, domain).object() == static_cast<Object*>(c))
                    return {movie, s.characterId};
            }
    }
    return {nullptr, 0};
}

std::pair<std::shared_ptr<const Movie>, std::uint16_t> loadedSymbol(VM& vm, Class* c) {
    if (!vm.displayTree || !c)
        return {nullptr, 0};
    const QString dotted = c->package.isEmpty() ? c->name : c->package + u'.' + c->name;
    for (const auto& [movie, domain] : vm.displayTree->scriptedMovies)
        for (const auto& s : movie->symbolClasses) {
            if (s.characterId == 0 || s.name != dotted)
                continue;
            Object* found = nullptr;
            try {
                found = vm.lookupDefinition(s.name, domain).object();
            } catch (const ScriptThrow&) {
            }
            if (found == static_cast<Object*>(c))
                return {movie, s.characterId};
        }
    return {nullptr, 0};
}

const Character* linkedCharacter(VM& vm, Class* c) {
    const auto [movie, id] = linkedSymbol(vm, c);
    return movie ? movie->character(id) : nullptr;
}

void installDomains(VM& vm) {
    Class* dom = domainClass(vm);
    if (!dom)
        return;
    dom->nativeAlloc = allocDomain;
    dom->iinit.native = domainCtor;
    vm.addStaticGetter(dom, QStringLiteral("currentDomain"), currentDomain);
    vm.addGetter(dom, QStringLiteral("parentDomain"), parentDomain);
    for (auto [name, fn] : {std::pair<const char*, NativeFn>{"hasDefinition", hasDefinition},
                            {"getDefinition", getDefinition}}) {
        vm.addMethod(dom, QString::fromLatin1(name), fn);
        Binding* m = dom->instanceTraits.find(QString::fromLatin1(name), vm.as3Ns());
        dom->instanceTraits.add(QString::fromLatin1(name), vm.publicNs(), *m);
    }
    Object* lc = vm.lookupDefinition(QStringLiteral("flash.system::LoaderContext")).object();
    if (lc && lc->kind == ObjectKind::Class)
        static_cast<Class*>(lc)->iinit.native = loaderContextCtor;
}

} // namespace swf::avm2
