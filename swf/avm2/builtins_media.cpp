// flash.display.Bitmap: a display object showing a script's BitmapData, drawn by the renderer
// one pixel per 20 twips like AVM1's attachBitmap, with its smoothing and pixel snapping. The
// player object shows the very pixels the BitmapData edits, so the change tracker sees them.
//
// Loading: Loader (SWF, PNG, JPEG and GIF bytes, from memory or from a file), URLLoader and
// URLRequest, all under the file rule (the movie's own folder and below, read only). Network
// addresses, Socket, NetConnection and FileReference are refused with one line on standard
// error and the error event the Language Reference documents for each. Results arrive as
// events on the next frame, as a finished download's would.

#include "swf/avm2/bitmaps.h"
#include "swf/avm2/display.h"
#include "swf/avm2/media.h"
#include "swf/files.h"
#include "swf/movie.h"

#include <QBuffer>
#include <QImageReader>
#include <QRegularExpression>
#include <QUrl>
#include <utility>

namespace swf::avm2 {

namespace {

DisplayNode* bitmapNode(VM& vm, const Value& self) {
    Object* o = self.object();
    if (!o || o->kind != ObjectKind::DisplayObject)
        vm.throwTypeError(1004, QStringLiteral("Method was invoked on an incompatible object."));
    return static_cast<DisplayNode*>(o);
}

void setBitmapData(VM& vm, DisplayNode* n, const Value& v) {
    const Value type = vm.lookupDefinition(QStringLiteral("flash.display::BitmapData"));
    if (!v.isNullish() && type.object() && type.object()->kind == ObjectKind::Class &&
        !vm.isType(v, static_cast<Class*>(type.object())))
        vm.throwTypeError(1034, QStringLiteral("Type Coercion failed: cannot convert %1 to "
                                               "flash.display.BitmapData.")
                                    .arg(vm.describe(v)));
    n->held = v.isNullish() ? Value() : v;
    if (n->obj)
        n->obj->bitmapData = bitmapDataOf(v);
}

DisplayObject::PixelSnapping snappingOf(VM& vm, const Value& v) {
    const QString s = v.isNullish() ? QStringLiteral("auto") : vm.toString(v);
    if (s == QLatin1String("never"))
        return DisplayObject::PixelSnapping::Never;
    if (s == QLatin1String("always"))
        return DisplayObject::PixelSnapping::Always;
    return DisplayObject::PixelSnapping::Auto;
}

// new Bitmap(bitmapData = null, pixelSnapping = "auto", smoothing = false)
// A class linked to a library bitmap (Flex's embedded images, subclasses of BitmapAsset) shows
// that bitmap's pixels when the constructor is given none.
Value bitmapCtor(VM& vm, const Value& self, std::span<const Value> a) {
    DisplayNode* n = bitmapNode(vm, self);
    n->constructed = true;
    Value pixels = arg(a, 0);
    if (pixels.isNullish()) {
        const Character* ch = linkedCharacter(vm, n->cls);
        if (ch && ch->type == CharacterType::Bitmap) {
            if (!vm.bitmaps)
                vm.bitmaps = std::make_shared<BitmapHost>();
            if (auto data = BitmapData::fromImage(static_cast<const Bitmap*>(ch)->image(),
                                                  vm.bitmaps->budget))
                pixels = newBitmapData(vm, std::move(data));
        }
    }
    setBitmapData(vm, n, pixels);
    if (n->obj) {
        n->obj->pixelSnapping = snappingOf(vm, arg(a, 1));
        n->obj->bitmapSmoothing = VM::toBoolean(arg(a, 2));
    }
    return Value();
}

Value getBitmapData(VM& vm, const Value& self, std::span<const Value>) {
    const Value& held = bitmapNode(vm, self)->held;
    return held.object() ? held : Value::null();
}
Value putBitmapData(VM& vm, const Value& self, std::span<const Value> a) {
    setBitmapData(vm, bitmapNode(vm, self), arg(a, 0));
    return Value();
}

Value getSmoothing(VM& vm, const Value& self, std::span<const Value>) {
    DisplayNode* n = bitmapNode(vm, self);
    return Value(n->obj && n->obj->bitmapSmoothing);
}
Value putSmoothing(VM& vm, const Value& self, std::span<const Value> a) {
    if (DisplayNode* n = bitmapNode(vm, self); n->obj)
        n->obj->bitmapSmoothing = VM::toBoolean(arg(a, 0));
    return Value();
}

Value getPixelSnapping(VM& vm, const Value& self, std::span<const Value>) {
    DisplayNode* n = bitmapNode(vm, self);
    using P = DisplayObject::PixelSnapping;
    const P p = n->obj ? n->obj->pixelSnapping : P::Auto;
    return Value(QString::fromLatin1(p == P::Never ? "never" : p == P::Always ? "always" : "auto"));
}
Value putPixelSnapping(VM& vm, const Value& self, std::span<const Value> a) {
    const QString s = vm.toString(arg(a, 0));
    if (s != QLatin1String("never") && s != QLatin1String("auto") && s != QLatin1String("always"))
        vm.throwError(
            "ArgumentError", 2008,
            QStringLiteral("Parameter pixelSnapping must be one of the accepted values."));
    if (DisplayNode* n = bitmapNode(vm, self); n->obj)
        n->obj->pixelSnapping = snappingOf(vm, arg(a, 0));
    return Value();
}

// --- Loading ---

// A Loader's contentLoaderInfo: what was loaded. The movie's own LoaderInfo keeps the
// runtime's answers; the getters below serve both.
class ContentInfo : public DisplayNode {
public:
    ContentInfo(Class* c, DisplayTree* t) : DisplayNode(c, t) {}
    void traceChildren(std::vector<Object*>& out) override {
        DisplayNode::traceChildren(out);
        for (Object* o : {loader, content})
            if (o)
                out.push_back(o);
    }
    DisplayNode* loader = nullptr;
    DisplayNode* content = nullptr;
    QString url, contentType;
    std::size_t bytes = 0;
    double width = 0, height = 0, frameRate = 0;
    int swfVersion = 0;
    bool complete = false;
    Domain* domain = nullptr;     // a movie's: where its code went
    std::uint64_t generation = 0; // counts loads, so that a superseded one is not shown
};

bool isNetwork(const QString& url) {
    const int colon = url.indexOf(u':');
    // A scheme of two letters or more (one letter is a drive).
    return colon > 1 && !url.startsWith(QLatin1String("file:"), Qt::CaseInsensitive) &&
           url.left(colon).contains(
               QRegularExpression(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*$")));
}

QString requestUrl(VM& vm, const Value& request) {
    if (request.isNullish())
        vm.throwTypeError(2007, QStringLiteral("Parameter request must be non-null."));
    if (request.isString())
        return vm.toString(request);
    const Value u = vm.getProperty(request, vm.publicName(QStringLiteral("url")));
    return u.isNullish() ? QString() : vm.toString(u);
}

// The error events of a refused or failed request: one line on standard error, and
// securityError for the network (no movie reaches it), else ioError.
void refuse(VM& vm, DisplayNode* target, const QString& what, const QString& url,
            const std::string& why, bool stream = false) {
    noticeLine(vm, files::refusalLine(what, url, why));
    if (isNetwork(url))
        post(vm, target,
             makeEvent(vm, QStringLiteral("flash.events::SecurityErrorEvent"),
                       QStringLiteral("securityError"),
                       QStringLiteral("Error #2048: Security sandbox violation: %1 cannot load "
                                      "data from %2.")
                           .arg(vm.displayTree ? vm.displayTree->url : QString(), url),
                       2048));
    else
        post(vm, target,
             stream
                 ? makeEvent(vm, QStringLiteral("flash.events::IOErrorEvent"),
                             QStringLiteral("ioError"),
                             QStringLiteral("Error #2032: Stream Error. URL: %1").arg(url), 2032)
                 : makeEvent(vm, QStringLiteral("flash.events::IOErrorEvent"),
                             QStringLiteral("ioError"),
                             QStringLiteral("Error #2035: URL Not Found. URL: %1").arg(url), 2035));
}

Result<QByteArray> readUrl(VM& vm, const QString& url) {
    if (isNetwork(url))
        return Error{"movies have no network access"};
    return files::FileRule(vm.moviePath).read(url);
}

ContentInfo* infoOf(VM& vm, DisplayNode* loader) {
    const Value* v = loader->getDynamic(QStringLiteral(" contentLoaderInfo"));
    if (v && v->object())
        return static_cast<ContentInfo*>(v->object());
    Class* c = classNamed(vm, "flash.display::LoaderInfo");
    auto* info = static_cast<ContentInfo*>(vm.make<ContentInfo>(c, vm.displayTree));
    info->traits = &c->instanceTraits;
    info->proto = c->prototype;
    info->loader = loader;
    // Held by the loader as a property no script can name, so that it lives as long.
    loader->setDynamic(QStringLiteral(" contentLoaderInfo"), Value(static_cast<Object*>(info)));
    loader->dyn.back().enumerable = false;
    return info;
}

DisplayNode* loaderOf(VM& vm, const Value& self) {
    Object* o = self.object();
    if (!o || o->kind != ObjectKind::DisplayObject || !static_cast<DisplayNode*>(o)->isDisplay)
        vm.throwTypeError(1004, QStringLiteral("Method was invoked on an incompatible object."));
    return static_cast<DisplayNode*>(o);
}

void removeContent(VM& vm, DisplayNode* loader, ContentInfo* info) {
    if (info->content && info->content->parent == loader && vm.displayTree)
        vm.displayTree->removeChild(loader, info->content);
    info->content = nullptr;
    info->complete = false;
    ++info->generation;
}

const QString kLoadedInfo = QStringLiteral(" loadedInfo");

// The domain a movie's code goes into: LoaderContext.applicationDomain when given, else a new
// child of the domain of the code that called the loader.
Domain* domainForLoad(VM& vm, const Value& context) {
    if (Object* c = context.object()) {
        if (const Value* d = c->getDynamic(QStringLiteral("applicationDomain")))
            if (Domain* chosen = realizeDomain(vm, *d))
                return chosen;
    }
    return vm.newDomain(vm.runningDomain ? vm.runningDomain : vm.mainDomain());
}

void reportLoaded(VM& vm, const char* what, const ScriptThrow& t) {
    noticeLine(vm, QStringLiteral("ActionScript 3: uncaught error in a loaded movie's %1: %2")
                       .arg(QString::fromLatin1(what), vm.errorText(t.value)));
}

// A movie with ActionScript 3 of its own, as it arrives: its code in `domain`, its document
// class (else MovieClip) made as the root of its timeline and constructed, then put in the
// loader. Its SymbolClass names are looked up in its own domain.
void showScriptedMovie(VM& vm, DisplayNode* loader, ContentInfo* info,
                       const std::shared_ptr<const Movie>& movie, Domain* domain,
                       const QString& url) {
    DisplayTree* tree = vm.displayTree;
    tree->scriptedMovies.emplace_back(movie, domain);
    info->domain = domain;
    for (const AbcBlock& b : movie->abcBlocks) {
        auto abc = Abc::parse(b.data);
        if (!abc) {
            noticeLine(vm, QStringLiteral("ActionScript 3: block \"%1\" of %2 refused: %3")
                               .arg(b.name, url, QString::fromStdString(abc.error().message)));
            continue;
        }
        try {
            vm.loadAbc(*abc, !(b.flags & 1), domain);
        } catch (const ScriptThrow& t) {
            reportLoaded(vm, "initialisation", t);
        }
    }
    Class* mc = classNamed(vm, "flash.display::MovieClip");
    Class* c = mc;
    for (const auto& s : movie->symbolClasses) {
        if (s.characterId != 0)
            continue;
        Object* o = nullptr;
        try {
            o = vm.lookupDefinition(s.name, domain).object();
        } catch (const ScriptThrow& t) {
            reportLoaded(vm, "document class", t);
        }
        if (o && o->kind == ObjectKind::Class &&
            static_cast<Class*>(o)->isSubclassOf(vm.spriteClass))
            c = static_cast<Class*>(o);
        else
            noticeLine(vm, QStringLiteral("ActionScript 3: document class %1 of %2 not usable")
                               .arg(s.name, url));
    }
    auto* content = static_cast<DisplayNode*>(vm.allocInstance(c));
    content->setDynamic(kLoadedInfo, Value(static_cast<Object*>(info)));
    content->dyn.back().enumerable = false;
    // In the loader before the timeline arrives: the player shows a movie only in a clip on a
    // list. Its constructor runs before anyone hears that it was added.
    tree->addChildAt(loader, content, 0);
    if (!content->clip || !tree->scripting.loadIntoClip(*content->clip, movie, url)) {
        tree->removeChild(loader, content);
        noticeLine(vm, QStringLiteral("Loader: %1: the player refused the movie").arg(url));
        return;
    }
    info->content = content;
    try {
        tree->bind(content, nullptr);
        content->constructed = true;
        vm.constructInstance(c, content, {});
        tree->constructChildren(content);
    } catch (const ScriptThrow& t) {
        reportLoaded(vm, "document class", t);
    }
    if (content->parent == loader) {
        dispatchSimple(vm, content, QStringLiteral("added"), true);
        if (tree->onStage(content))
            dispatchSimple(vm, content, QStringLiteral("addedToStage"), false);
    }
}

// Shows loaded bytes in the loader: a movie (with its own code, if it has any), or a picture
// as a Bitmap.
void showBytes(VM& vm, DisplayNode* loader, const QByteArray& bytes, const QString& url,
               const Value& context) {
    ContentInfo* info = infoOf(vm, loader);
    removeContent(vm, loader, info);
    info->url = url;
    info->bytes = std::size_t(bytes.size());
    DisplayTree* tree = vm.displayTree;
    const auto data = std::span(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                std::size_t(bytes.size()));
    const bool swf = bytes.size() >= 3 && (bytes.startsWith("FWS") || bytes.startsWith("CWS") ||
                                           bytes.startsWith("ZWS"));
    auto fail = [&](const QString& why) {
        noticeLine(vm, QStringLiteral("Loader: %1: %2")
                           .arg(url.isEmpty() ? QStringLiteral("bytes") : url, why));
        post(vm, info,
             makeEvent(vm, QStringLiteral("flash.events::IOErrorEvent"), QStringLiteral("ioError"),
                       QStringLiteral("Error #2124: Loaded file is an unknown type."), 2124));
    };
    if (!tree)
        return fail(QStringLiteral("no display list"));
    if (swf) {
        auto movie = Movie::load(data);
        if (!movie)
            return fail(QString::fromStdString(movie.error().message));
        const auto& h = (*movie)->header();
        info->width = h.frameSize.width() / 20.0;
        info->height = h.frameSize.height() / 20.0;
        info->frameRate = h.effectiveFrameRate();
        info->swfVersion = h.version;
        if ((*movie)->usesAvm2 && !(*movie)->abcBlocks.empty()) {
            info->contentType = QStringLiteral("application/x-shockwave-flash");
            // Its code runs as it arrives (the next frame), just before init.
            Domain* domain = domainForLoad(vm, context);
            const std::uint64_t generation = info->generation;
            post(vm, info,
                 makeEvent(vm, QStringLiteral("flash.events::Event"), QStringLiteral("open")));
            post(vm, info,
                 makeEvent(vm, QStringLiteral("flash.events::Event"), QStringLiteral("init")),
                 [loader, info, m = *movie, domain, url, generation](VM& vm) {
                     if (info->generation != generation)
                         return;
                     showScriptedMovie(vm, loader, info, m, domain, url);
                     info->complete = true;
                 });
            post(vm, info,
                 makeEvent(vm, QStringLiteral("flash.events::Event"), QStringLiteral("complete")));
            return;
        }
        // An empty clip in the loader, then the movie shown in it as AVM1's loadMovie does.
        Class* mc = classNamed(vm, "flash.display::MovieClip");
        auto* content = static_cast<DisplayNode*>(vm.allocInstance(mc));
        content->constructed = true;
        tree->addChildAt(loader, content, 0);
        if (!content->clip || !tree->scripting.loadIntoClip(*content->clip, *movie, url))
            return fail(QStringLiteral("the player refused the movie"));
        tree->bind(content, nullptr);
        tree->constructChildren(content);
        info->content = content;
        info->contentType = QStringLiteral("application/x-shockwave-flash");
    } else {
        QBuffer buffer;
        buffer.setData(bytes);
        QImageReader reader(&buffer);
        const QByteArray format = reader.format();
        if (format != "png" && format != "jpeg" && format != "gif")
            return fail(QStringLiteral("not a movie, PNG, JPEG or GIF"));
        // Bounded before decoding: the budget decides whether the pixels may exist at all.
        const QSize size = reader.size();
        if (!size.isValid() || qint64(size.width()) * size.height() > (qint64(1) << 26))
            return fail(QStringLiteral("the picture is too large"));
        QImage image = reader.read();
        if (image.isNull())
            return fail(reader.errorString());
        BitmapHost& host = *vm.bitmaps;
        auto pixels = BitmapData::fromImage(
            image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied
                                                          : QImage::Format_RGB32),
            host.budget);
        if (!pixels)
            return fail(QStringLiteral("the movie's bitmap memory is spent"));
        const Value bd = newBitmapData(vm, std::move(pixels));
        Class* bc = classNamed(vm, "flash.display::Bitmap");
        auto* content = static_cast<DisplayNode*>(vm.allocInstance(bc));
        const Value args[] = {bd};
        vm.constructInstance(bc, content, args);
        tree->addChildAt(loader, content, 0);
        info->content = content;
        info->contentType = format == "png"   ? QStringLiteral("image/png")
                            : format == "gif" ? QStringLiteral("image/gif")
                                              : QStringLiteral("image/jpeg");
        info->width = image.width();
        info->height = image.height();
        info->frameRate = vm.frameRate;
        info->swfVersion = vm.bitmaps->swfVersion;
    }
    // Loading is asynchronous to scripts: content is there from init on.
    post(vm, info, makeEvent(vm, QStringLiteral("flash.events::Event"), QStringLiteral("open")));
    post(vm, info, makeEvent(vm, QStringLiteral("flash.events::Event"), QStringLiteral("init")),
         [info](VM&) { info->complete = true; });
    post(vm, info,
         makeEvent(vm, QStringLiteral("flash.events::Event"), QStringLiteral("complete")));
}

Value loaderCtor(VM& vm, const Value& self, std::span<const Value>) {
    DisplayNode* n = loaderOf(vm, self);
    n->constructed = true;
    infoOf(vm, n);
    return Value();
}

Value loaderLoad(VM& vm, const Value& self, std::span<const Value> a) {
    DisplayNode* n = loaderOf(vm, self);
    const QString url = requestUrl(vm, arg(a, 0));
    auto bytes = readUrl(vm, url);
    if (!bytes) {
        ContentInfo* info = infoOf(vm, n);
        removeContent(vm, n, info);
        info->url = url;
        refuse(vm, info, QStringLiteral("Loader.load of"), url, bytes.error().message);
        return Value();
    }
    showBytes(vm, n, *bytes, url, arg(a, 1));
    return Value();
}

Value loaderLoadBytes(VM& vm, const Value& self, std::span<const Value> a) {
    DisplayNode* n = loaderOf(vm, self);
    const std::vector<std::uint8_t>* data = vm.domainMemoryBytes(arg(a, 0).object());
    if (!data)
        vm.throwTypeError(2007, QStringLiteral("Parameter bytes must be non-null."));
    const QByteArray bytes(reinterpret_cast<const char*>(data->data()), qsizetype(data->size()));
    showBytes(vm, n, bytes, vm.displayTree ? vm.displayTree->url : QString(), arg(a, 1));
    return Value();
}

Value loaderUnload(VM& vm, const Value& self, std::span<const Value>) {
    DisplayNode* n = loaderOf(vm, self);
    ContentInfo* info = infoOf(vm, n);
    const bool had = info->content != nullptr;
    removeContent(vm, n, info);
    if (had)
        post(vm, info,
             makeEvent(vm, QStringLiteral("flash.events::Event"), QStringLiteral("unload")));
    return Value();
}

Value loaderContent(VM& vm, const Value& self, std::span<const Value>) {
    ContentInfo* info = infoOf(vm, loaderOf(vm, self));
    return info->content && info->complete ? Value(static_cast<Object*>(info->content))
                                           : Value::null();
}
Value loaderInfoValue(VM& vm, const Value& self, std::span<const Value>) {
    return Value(static_cast<Object*>(infoOf(vm, loaderOf(vm, self))));
}
Value loaderClose(VM&, const Value&, std::span<const Value>) {
    return Value();
}

// The LoaderInfo getters, for a loader's content; the movie's own go to the runtime's.
struct InfoGetter {
    const char* name;
    NativeFn own;
    NativeFn movie = nullptr; // the runtime's, found at install
};
InfoGetter infoGetters[] = {
    {"content",
     [](VM&, const Value& s, std::span<const Value>) {
         auto* i = static_cast<ContentInfo*>(s.object());
         return i->content && i->complete ? Value(static_cast<Object*>(i->content)) : Value::null();
     }},
    {"loader",
     [](VM&, const Value& s, std::span<const Value>) {
         auto* i = static_cast<ContentInfo*>(s.object());
         return i->loader ? Value(static_cast<Object*>(i->loader)) : Value::null();
     }},
    {"bytesLoaded",
     [](VM&, const Value& s, std::span<const Value>) {
         return Value::fromUint(std::uint32_t(static_cast<ContentInfo*>(s.object())->bytes));
     }},
    {"bytesTotal",
     [](VM&, const Value& s, std::span<const Value>) {
         return Value::fromUint(std::uint32_t(static_cast<ContentInfo*>(s.object())->bytes));
     }},
    {"url",
     [](VM&, const Value& s, std::span<const Value>) {
         return Value(static_cast<ContentInfo*>(s.object())->url);
     }},
    {"contentType",
     [](VM&, const Value& s, std::span<const Value>) {
         auto* i = static_cast<ContentInfo*>(s.object());
         return i->contentType.isEmpty() ? Value::null() : Value(i->contentType);
     }},
    {"width",
     [](VM&, const Value& s, std::span<const Value>) {
         return Value(std::int32_t(static_cast<ContentInfo*>(s.object())->width));
     }},
    {"height",
     [](VM&, const Value& s, std::span<const Value>) {
         return Value(std::int32_t(static_cast<ContentInfo*>(s.object())->height));
     }},
    {"frameRate",
     [](VM&, const Value& s, std::span<const Value>) {
         return Value::number(static_cast<ContentInfo*>(s.object())->frameRate);
     }},
    {"swfVersion",
     [](VM&, const Value& s, std::span<const Value>) {
         return Value(std::int32_t(static_cast<ContentInfo*>(s.object())->swfVersion));
     }},
    {"applicationDomain",
     [](VM& vm, const Value& s, std::span<const Value>) {
         auto* i = static_cast<ContentInfo*>(s.object());
         return i->domain ? domainHandle(vm, i->domain) : Value::null();
     },
     // The main movie's code is in the main domain, whoever asks.
     [](VM& vm, const Value&, std::span<const Value>) { return domainHandle(vm, nullptr); }},
};

template <std::size_t I> Value infoDispatch(VM& vm, const Value& s, std::span<const Value> a) {
    if (dynamic_cast<ContentInfo*>(s.object()))
        return infoGetters[I].own(vm, s, a);
    if (infoGetters[I].movie)
        return infoGetters[I].movie(vm, s, a);
    // The movie's own: it is its own content's info.
    if (QLatin1String(infoGetters[I].name) == QLatin1String("contentType"))
        return Value(QStringLiteral("application/x-shockwave-flash"));
    return Value::null();
}

template <std::size_t... I> void installInfoGetters(VM& vm, Class* li, std::index_sequence<I...>) {
    (
        [&] {
            const QString name = QString::fromLatin1(infoGetters[I].name);
            if (const Binding* b = li->instanceTraits.find(name, vm.publicNs());
                b && b->kind == Binding::Kind::Accessor && !infoGetters[I].movie)
                infoGetters[I].movie = b->getter.native;
            vm.addGetter(li, name, infoDispatch<I>);
        }(),
        ...);
}

// --- URLRequest, URLLoader ---

Value urlRequestCtor(VM& vm, const Value& self, std::span<const Value> a) {
    Object* o = self.object();
    o->setDynamic(QStringLiteral("url"),
                  a.empty() || a[0].isNullish() ? Value::null() : Value(vm.toString(a[0])));
    o->setDynamic(QStringLiteral("method"), Value(QStringLiteral("GET")));
    o->setDynamic(QStringLiteral("data"), Value::null());
    o->setDynamic(QStringLiteral("contentType"), Value::null());
    o->setDynamic(QStringLiteral("requestHeaders"), Value(static_cast<Object*>(vm.newArray())));
    return Value();
}

DisplayNode* dispatcherOf(VM& vm, const Value& self) {
    Object* o = self.object();
    if (!o || o->kind != ObjectKind::DisplayObject)
        vm.throwTypeError(1004, QStringLiteral("Method was invoked on an incompatible object."));
    return static_cast<DisplayNode*>(o);
}

Value urlLoaderCtor(VM& vm, const Value& self, std::span<const Value> a) {
    DisplayNode* n = dispatcherOf(vm, self);
    n->setDynamic(QStringLiteral("dataFormat"), Value(QStringLiteral("text")));
    n->setDynamic(QStringLiteral("data"), Value());
    n->setDynamic(QStringLiteral("bytesLoaded"), Value(std::int32_t(0)));
    n->setDynamic(QStringLiteral("bytesTotal"), Value(std::int32_t(0)));
    if (!arg(a, 0).isNullish())
        vm.callProperty(self, vm.publicName(QStringLiteral("load")), a.first(1));
    return Value();
}

// URLLoader.load: text (UTF-8, or the system code page with System.useCodePage), binary as a
// ByteArray, or variables decoded into a URLVariables.
Value urlLoaderLoad(VM& vm, const Value& self, std::span<const Value> a) {
    DisplayNode* n = dispatcherOf(vm, self);
    const QString url = requestUrl(vm, arg(a, 0));
    auto bytes = readUrl(vm, url);
    if (!bytes) {
        refuse(vm, n, QStringLiteral("URLLoader.load of"), url, bytes.error().message, true);
        return Value();
    }
    const Value* fmt = n->getDynamic(QStringLiteral("dataFormat"));
    const QString format = fmt ? vm.toString(*fmt) : QStringLiteral("text");
    Value data;
    if (format == QLatin1String("binary")) {
        data = vm.construct(Value(static_cast<Object*>(vm.byteArrayClass)), {});
        if (std::vector<std::uint8_t>* d = vm.domainMemoryBytes(data.object()))
            d->assign(bytes->begin(), bytes->end());
    } else {
        const QString text = files::decodeText(*bytes, media(vm).useCodePage, false);
        data = Value(text);
        if (format == QLatin1String("variables"))
            if (Class* uv = classNamed(vm, "flash.net::URLVariables")) {
                const Value args[] = {Value(text)};
                data = vm.construct(Value(static_cast<Object*>(uv)), args);
            }
    }
    const auto size = std::int32_t(std::min<qsizetype>(bytes->size(), INT32_MAX));
    n->setDynamic(QStringLiteral("data"), data);
    n->setDynamic(QStringLiteral("bytesLoaded"), Value(size));
    n->setDynamic(QStringLiteral("bytesTotal"), Value(size));
    post(vm, n, makeEvent(vm, QStringLiteral("flash.events::Event"), QStringLiteral("open")));
    const Value progressArgs[] = {Value(QStringLiteral("progress")), Value(false), Value(false),
                                  Value(size), Value(size)};
    if (Class* pe = classNamed(vm, "flash.events::ProgressEvent"))
        post(vm, n, vm.construct(Value(static_cast<Object*>(pe)), progressArgs));
    post(vm, n, makeEvent(vm, QStringLiteral("flash.events::Event"), QStringLiteral("complete")));
    return Value();
}

// URLVariables: name=value pairs of a query string as dynamic properties.
Value urlVariablesDecode(VM& vm, const Value& self, std::span<const Value> a) {
    Object* o = self.object();
    const QString text = vm.toString(arg(a, 0));
    for (const QString& pair : text.split(u'&', Qt::SkipEmptyParts)) {
        const int eq = pair.indexOf(u'=');
        auto decode = [](QString s) {
            return QUrl::fromPercentEncoding(s.replace(u'+', u' ').toUtf8());
        };
        const QString name = decode(eq < 0 ? pair : pair.left(eq));
        const QString value = eq < 0 ? QString() : decode(pair.mid(eq + 1));
        o->setDynamic(name, Value(value));
    }
    return Value();
}
Value urlVariablesCtor(VM& vm, const Value& self, std::span<const Value> a) {
    if (!arg(a, 0).isNullish())
        urlVariablesDecode(vm, self, a);
    return Value();
}

// --- What has no network to reach ---

// One refusal and the documented events, for classes that only talk to other machines.
Value refuseConnect(VM& vm, const Value& self, std::span<const Value> a) {
    DisplayNode* n = dispatcherOf(vm, self);
    const QString host = arg(a, 0).isNullish() ? QString() : vm.toString(arg(a, 0));
    noticeLine(vm, files::refusalLine(QStringLiteral("%1 connection to").arg(n->cls->name), host,
                                      "movies have no network access"));
    if (n->cls->isSubclassOf(classNamed(vm, "flash.net::NetConnection"))) {
        // NetConnection reports through netStatus; connect(null) (local video) succeeds.
        const Value ev = makeEvent(vm, QStringLiteral("flash.events::NetStatusEvent"),
                                   QStringLiteral("netStatus"));
        Object* info = vm.newObject();
        info->setDynamic(QStringLiteral("level"), Value(QStringLiteral("error")));
        info->setDynamic(QStringLiteral("code"),
                         Value(QStringLiteral("NetConnection.Connect.Failed")));
        vm.setProperty(ev, vm.publicName(QStringLiteral("info")), Value(info));
        post(vm, n, ev);
        return Value();
    }
    post(vm, n,
         makeEvent(vm, QStringLiteral("flash.events::SecurityErrorEvent"),
                   QStringLiteral("securityError"),
                   QStringLiteral("Error #2048: Security sandbox violation: cannot connect to %1.")
                       .arg(host),
                   2048));
    return Value();
}

Value netConnectionConnect(VM& vm, const Value& self, std::span<const Value> a) {
    if (!arg(a, 0).isNullish())
        return refuseConnect(vm, self, a);
    DisplayNode* n = dispatcherOf(vm, self);
    n->setDynamic(QStringLiteral("connected"), Value(true));
    const Value ev =
        makeEvent(vm, QStringLiteral("flash.events::NetStatusEvent"), QStringLiteral("netStatus"));
    Object* info = vm.newObject();
    info->setDynamic(QStringLiteral("level"), Value(QStringLiteral("status")));
    info->setDynamic(QStringLiteral("code"),
                     Value(QStringLiteral("NetConnection.Connect.Success")));
    vm.setProperty(ev, vm.publicName(QStringLiteral("info")), Value(info));
    post(vm, n, ev);
    return Value();
}

// FileReference: no dialog opens and nothing is read or written for a movie.
Value fileReferenceRefused(VM& vm, const Value& self, std::span<const Value>) {
    DisplayNode* n = dispatcherOf(vm, self);
    noticeLine(vm, QStringLiteral("Refused: FileReference: movies may not open, send or save "
                                  "files"));
    post(vm, n,
         makeEvent(vm, QStringLiteral("flash.events::IOErrorEvent"), QStringLiteral("ioError"),
                   QStringLiteral("Error #2038: File I/O Error."), 2038));
    return Value(false);
}

Value netStatusEventCtor(VM& vm, const Value& self, std::span<const Value> a) {
    vm.eventClass->iinit.native(vm, self, a.first(std::min<std::size_t>(a.size(), 3)));
    vm.setProperty(self, vm.publicName(QStringLiteral("info")),
                   a.size() > 3 ? a[3] : Value::null());
    return Value();
}

Class* netClass(VM& vm, const char* name, Class* base = nullptr) {
    Class* c = vm.defineNativeClass(QStringLiteral("flash.net"), QString::fromLatin1(name),
                                    base ? base : vm.eventDispatcherClass, allocDisplayNode);
    c->isSealed = false;
    return c;
}

void method(VM& vm, Class* c, const char* name, NativeFn f) {
    vm.addMethod(c, QString::fromLatin1(name), f);
    Binding* b = c->instanceTraits.find(QString::fromLatin1(name), vm.as3Ns());
    c->instanceTraits.add(QString::fromLatin1(name), vm.publicNs(), *b);
}

} // namespace

DisplayNode* loadedMovieInfo(DisplayNode* n) {
    for (int guard = 0; n && guard < 256; n = n->parent, ++guard)
        if (const Value* v = n->getDynamic(kLoadedInfo); v && v->object())
            return static_cast<DisplayNode*>(v->object());
    return nullptr;
}

void installLoader(VM& vm) {
    const QString display = QStringLiteral("flash.display");
    Class* container = classNamed(vm, "flash.display::DisplayObjectContainer");
    Class* loader =
        vm.defineNativeClass(display, QStringLiteral("Loader"), container, allocDisplayNode);
    loader->iinit.native = loaderCtor;
    method(vm, loader, "load", loaderLoad);
    method(vm, loader, "loadBytes", loaderLoadBytes);
    method(vm, loader, "unload", loaderUnload);
    method(vm, loader, "unloadAndStop", loaderUnload);
    method(vm, loader, "close", loaderClose);
    vm.addGetter(loader, QStringLiteral("content"), loaderContent);
    vm.addGetter(loader, QStringLiteral("contentLoaderInfo"), loaderInfoValue);
    if (Class* li = classNamed(vm, "flash.display::LoaderInfo"))
        installInfoGetters(vm, li, std::make_index_sequence<std::size(infoGetters)>());

    Class* request = vm.defineNativeClass(QStringLiteral("flash.net"), QStringLiteral("URLRequest"),
                                          vm.objectClass);
    request->isSealed = false;
    request->iinit.native = urlRequestCtor;
    Class* variables = vm.defineNativeClass(QStringLiteral("flash.net"),
                                            QStringLiteral("URLVariables"), vm.objectClass);
    variables->isSealed = false;
    variables->iinit.native = urlVariablesCtor;
    vm.addMethod(variables, QStringLiteral("decode"), urlVariablesDecode);
    Class* method0 =
        vm.defineNativeClass(QStringLiteral("flash.net"), QStringLiteral("URLRequestMethod"),
                             vm.objectClass, nullptr, true);
    vm.addStaticValue(method0, QStringLiteral("GET"), Value(QStringLiteral("GET")));
    vm.addStaticValue(method0, QStringLiteral("POST"), Value(QStringLiteral("POST")));
    Class* format =
        vm.defineNativeClass(QStringLiteral("flash.net"), QStringLiteral("URLLoaderDataFormat"),
                             vm.objectClass, nullptr, true);
    vm.addStaticValue(format, QStringLiteral("TEXT"), Value(QStringLiteral("text")));
    vm.addStaticValue(format, QStringLiteral("BINARY"), Value(QStringLiteral("binary")));
    vm.addStaticValue(format, QStringLiteral("VARIABLES"), Value(QStringLiteral("variables")));

    Class* urlLoader = netClass(vm, "URLLoader");
    urlLoader->iinit.native = urlLoaderCtor;
    method(vm, urlLoader, "load", urlLoaderLoad);
    method(vm, urlLoader, "close", loaderClose);

    Class* socket = netClass(vm, "Socket");
    method(vm, socket, "connect", refuseConnect);
    method(vm, socket, "close", loaderClose);
    Class* xmlSocket = netClass(vm, "XMLSocket");
    method(vm, xmlSocket, "connect", refuseConnect);
    method(vm, xmlSocket, "close", loaderClose);
    Class* urlStream = netClass(vm, "URLStream");
    method(vm, urlStream, "load", [](VM& vm, const Value& self, std::span<const Value> a) {
        const QString url = requestUrl(vm, arg(a, 0));
        refuse(vm, dispatcherOf(vm, self), QStringLiteral("URLStream.load of"), url,
               "URLStream is not available to movies here", true);
        return Value();
    });
    method(vm, urlStream, "close", loaderClose);
    Class* nc = netClass(vm, "NetConnection");
    method(vm, nc, "connect", netConnectionConnect);
    method(vm, nc, "close", loaderClose);
    Class* fr = netClass(vm, "FileReference");
    for (const char* n : {"browse", "download", "upload", "load", "save"})
        method(vm, fr, n, fileReferenceRefused);
    Class* netStatus =
        vm.defineNativeClass(QStringLiteral("flash.events"), QStringLiteral("NetStatusEvent"),
                             vm.eventClass, allocDisplayNode);
    netStatus->isSealed = false;
    netStatus->iinit.native = netStatusEventCtor;
    vm.addStaticValue(netStatus, QStringLiteral("NET_STATUS"), Value(QStringLiteral("netStatus")));
}

void installMedia(VM& vm) {
    const QString display = QStringLiteral("flash.display");
    Value dobj = vm.lookupDefinition(QStringLiteral("flash.display::DisplayObject"));
    Class* base = dobj.object() && dobj.object()->kind == ObjectKind::Class
                      ? static_cast<Class*>(dobj.object())
                      : vm.displayObjectClass;
    Class* bitmap = vm.defineNativeClass(display, QStringLiteral("Bitmap"), base, allocDisplayNode);
    bitmap->iinit.native = bitmapCtor;
    vm.addGetter(bitmap, QStringLiteral("bitmapData"), getBitmapData, putBitmapData);
    vm.addGetter(bitmap, QStringLiteral("smoothing"), getSmoothing, putSmoothing);
    vm.addGetter(bitmap, QStringLiteral("pixelSnapping"), getPixelSnapping, putPixelSnapping);
    Class* snapping = vm.defineNativeClass(display, QStringLiteral("PixelSnapping"), vm.objectClass,
                                           nullptr, true);
    vm.addStaticValue(snapping, QStringLiteral("NEVER"), Value(QStringLiteral("never")));
    vm.addStaticValue(snapping, QStringLiteral("AUTO"), Value(QStringLiteral("auto")));
    vm.addStaticValue(snapping, QStringLiteral("ALWAYS"), Value(QStringLiteral("always")));
    Class* blend =
        vm.defineNativeClass(display, QStringLiteral("BlendMode"), vm.objectClass, nullptr, true);
    for (auto [k, v] : {std::pair<const char*, const char*>{"NORMAL", "normal"},
                        {"LAYER", "layer"},
                        {"MULTIPLY", "multiply"},
                        {"SCREEN", "screen"},
                        {"LIGHTEN", "lighten"},
                        {"DARKEN", "darken"},
                        {"DIFFERENCE", "difference"},
                        {"ADD", "add"},
                        {"SUBTRACT", "subtract"},
                        {"INVERT", "invert"},
                        {"ALPHA", "alpha"},
                        {"ERASE", "erase"},
                        {"OVERLAY", "overlay"},
                        {"HARDLIGHT", "hardlight"},
                        {"SHADER", "shader"}})
        vm.addStaticValue(blend, QString::fromLatin1(k), Value(QString::fromLatin1(v)));
    installSound(vm);
    installSystem(vm);
    installLoader(vm);
    installDomains(vm);
}

} // namespace swf::avm2
