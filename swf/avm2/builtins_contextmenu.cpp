// flash.ui: ContextMenu, ContextMenuItem, ContextMenuBuiltInItems, ContextMenuClipboardItems
// and ContextMenuEvent, and InteractiveObject.contextMenu. The player's right-click menu is
// its own (zoom, quality, export...), so a movie's menu is kept for the movie to read back but
// never shown, and its items are never selected.

#include "swf/avm2/display.h"

namespace swf::avm2 {

namespace {

void setField(Object* o, const QString& name, const Value& v) {
    o->setDynamic(name, v);
    o->dyn[std::size_t(o->dynIndex.value(name))].enumerable = true;
}

Value menuCtor(VM& vm, const Value& self, std::span<const Value>) {
    Object* o = self.object();
    const Value items =
        vm.construct(vm.lookupDefinition(QStringLiteral("flash.ui::ContextMenuBuiltInItems")), {});
    setField(o, QStringLiteral("builtInItems"), items);
    setField(o, QStringLiteral("customItems"), Value(static_cast<Object*>(vm.newArray())));
    setField(o, QStringLiteral("clipboardMenu"), Value(false));
    setField(o, QStringLiteral("clipboardItems"),
             vm.construct(
                 vm.lookupDefinition(QStringLiteral("flash.ui::ContextMenuClipboardItems")), {}));
    setField(o, QStringLiteral("link"), Value::null());
    return Value();
}

Value hideBuiltInItems(VM& vm, const Value& self, std::span<const Value>) {
    const Value items = vm.getProperty(self, vm.publicName(QStringLiteral("builtInItems")));
    if (Object* b = items.object())
        for (const Object::DynProp& p : std::vector<Object::DynProp>(b->dyn))
            if (p.live && p.name != QLatin1String("print"))
                b->setDynamic(p.name, Value(false));
    return Value();
}

// A copy of the menu: its own built-in switches and a copy of the item list (the items
// themselves shared, as the Reference's clone does for custom items).
Value menuClone(VM& vm, const Value& self, std::span<const Value>) {
    const Value copy = vm.construct(Value(static_cast<Object*>(self.object()->cls)), {});
    const Value from = vm.getProperty(self, vm.publicName(QStringLiteral("builtInItems")));
    const Value to = vm.getProperty(copy, vm.publicName(QStringLiteral("builtInItems")));
    if (Object* f = from.object(); f && to.object())
        for (const Object::DynProp& p : f->dyn)
            if (p.live)
                to.object()->setDynamic(p.name, p.value);
    const Value items = vm.getProperty(self, vm.publicName(QStringLiteral("customItems")));
    std::vector<Value> list;
    if (Object* a = items.object(); a && a->kind == ObjectKind::Array)
        list = static_cast<Array*>(a)->items;
    copy.object()->setDynamic(QStringLiteral("customItems"),
                              Value(static_cast<Object*>(vm.newArray(std::move(list)))));
    return copy;
}

Value ignore(VM&, const Value&, std::span<const Value>) {
    return Value();
}

Value itemCtor(VM& vm, const Value& self, std::span<const Value> a) {
    Object* o = self.object();
    setField(o, QStringLiteral("caption"), Value(vm.toString(arg(a, 0))));
    setField(o, QStringLiteral("separatorBefore"), Value(a.size() > 1 && vm.toBoolean(a[1])));
    setField(o, QStringLiteral("enabled"), Value(a.size() <= 2 || vm.toBoolean(a[2])));
    setField(o, QStringLiteral("visible"), Value(a.size() <= 3 || vm.toBoolean(a[3])));
    return Value();
}

Value itemClone(VM& vm, const Value& self, std::span<const Value>) {
    const Value args[] = {vm.getProperty(self, vm.publicName(QStringLiteral("caption"))),
                          vm.getProperty(self, vm.publicName(QStringLiteral("separatorBefore"))),
                          vm.getProperty(self, vm.publicName(QStringLiteral("enabled"))),
                          vm.getProperty(self, vm.publicName(QStringLiteral("visible")))};
    return vm.construct(Value(static_cast<Object*>(self.object()->cls)), args);
}

Value builtInCtor(VM&, const Value& self, std::span<const Value>) {
    for (const char* n :
         {"forwardAndBack", "loop", "play", "print", "quality", "rewind", "save", "zoom"})
        setField(self.object(), QString::fromLatin1(n), Value(true));
    return Value();
}

Value clipboardCtor(VM&, const Value& self, std::span<const Value>) {
    for (const char* n : {"clear", "copy", "cut", "paste", "selectAll"})
        setField(self.object(), QString::fromLatin1(n), Value(n == std::string_view("selectAll")));
    return Value();
}

const QString kMenuKey = QStringLiteral("contextMenu");

Value getContextMenu(VM&, const Value& self, std::span<const Value>) {
    Object* o = self.object();
    const Value* v = o ? o->getDynamic(kMenuKey) : nullptr;
    return v ? *v : Value::null();
}
Value setContextMenu(VM&, const Value& self, std::span<const Value> a) {
    if (Object* o = self.object()) {
        o->setDynamic(kMenuKey, arg(a, 0));
        o->dyn[std::size_t(o->dynIndex.value(kMenuKey))].enumerable = false;
    }
    return Value();
}

} // namespace

void installContextMenu(VM& vm);
void installContextMenu(VM& vm) {
    const QString ui = QStringLiteral("flash.ui");
    Class* ed = vm.eventDispatcherClass;
    Class* menu = vm.defineNativeClass(ui, QStringLiteral("ContextMenu"), ed, allocDisplayNode);
    menu->iinit.native = menuCtor;
    for (auto [n, f] : {std::pair<const char*, NativeFn>{"hideBuiltInItems", hideBuiltInItems},
                        {"clone", menuClone},
                        {"display", ignore}}) {
        vm.addMethod(menu, QString::fromLatin1(n), f);
        Binding* b = menu->instanceTraits.find(QString::fromLatin1(n), vm.as3Ns());
        menu->instanceTraits.add(QString::fromLatin1(n), vm.publicNs(), *b);
    }
    vm.addStaticValue(menu, QStringLiteral("isSupported"), Value(false));
    Class* item = vm.defineNativeClass(ui, QStringLiteral("ContextMenuItem"), ed, allocDisplayNode);
    item->iinit.native = itemCtor;
    vm.addMethod(item, QStringLiteral("clone"), itemClone);
    item->instanceTraits.add(QStringLiteral("clone"), vm.publicNs(),
                             *item->instanceTraits.find(QStringLiteral("clone"), vm.as3Ns()));
    vm.defineNativeClass(ui, QStringLiteral("ContextMenuBuiltInItems"), vm.objectClass)
        ->iinit.native = builtInCtor;
    vm.defineNativeClass(ui, QStringLiteral("ContextMenuClipboardItems"), vm.objectClass)
        ->iinit.native = clipboardCtor;
    // The event class: a plain Event subclass with its two types (never dispatched here).
    Class* ev =
        vm.defineNativeClass(QStringLiteral("flash.events"), QStringLiteral("ContextMenuEvent"),
                             vm.eventClass, allocDisplayNode);
    ev->iinit = vm.eventClass->iinit;
    vm.addStaticValue(ev, QStringLiteral("MENU_ITEM_SELECT"),
                      Value(QStringLiteral("menuItemSelect")));
    vm.addStaticValue(ev, QStringLiteral("MENU_SELECT"), Value(QStringLiteral("menuSelect")));

    // InteractiveObject.contextMenu, on it and every native subclass (each copied its base's
    // traits when it was defined).
    Object* io = vm.lookupDefinition(QStringLiteral("flash.display::InteractiveObject")).object();
    if (!io || io->kind != ObjectKind::Class)
        return;
    for (const Value& v : vm.builtins->slotv) {
        Object* o = v.object();
        if (!o || o->kind != ObjectKind::Class)
            continue;
        for (Class* c = static_cast<Class*>(o); c; c = c->base)
            if (c == io) {
                vm.addGetter(static_cast<Class*>(o), kMenuKey, getContextMenu, setContextMenu);
                break;
            }
    }
}

} // namespace swf::avm2
