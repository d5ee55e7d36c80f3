#pragma once

// Reaching a running movie's ActionScript objects by public name, for the tests that drive the
// Flash API from C++. A fixture derives from ScriptCalls<Itself> and gives `VM& vm()`.

#include "swf/avm2/runtime.h"
#include "swf/avm2/vm.h"
#include "swf/movie.h"
#include "swf/player.h"
#include "swf/render/bitmapdrawer.h"
#include "swf/render/paintercanvas.h"
#include "swf/render/renderer.h"
#include "swf/swf_writer.h"

#include <QImage>
#include <QPainter>
#include <QString>
#include <QStringList>
#include <initializer_list>
#include <memory>
#include <vector>

// The 550 x 400 stage of the tests' movies as the renderer draws it, on white.
inline QImage stagePicture(swf::render::Renderer& renderer, const swf::Player& player) {
    QImage image(550, 400, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter painter(&image);
    swf::render::PainterCanvas canvas(painter);
    const auto& header = player.movie().header();
    renderer.render(player, canvas,
                    swf::render::stageTransform(header.frameSize, QRectF(0, 0, 550, 400), 0));
    return image;
}

// An ActionScript 3 movie with one empty frame, for tests that build everything from C++.
inline std::shared_ptr<const swf::Movie> emptyAs3Movie() {
    using namespace swftest;
    auto m = swf::Movie::load(
        swftest::movie(concat({tag(69, Writer().u32(0x08)), showFrame(), end()}), 1));
    return m ? *m : nullptr;
}

// Runtime options that collect script errors and draw BitmapData with the real renderer.
inline swf::avm2::RuntimeOptions drawingOptions(QStringList& errors) {
    swf::avm2::RuntimeOptions o;
    o.error = [&errors](const QString& l) { errors << l; };
    o.bitmapDrawer = std::make_shared<swf::render::RendererBitmapDrawer>();
    return o;
}

template <class Fixture> struct ScriptCalls {
    using Value = swf::avm2::Value;

    Value get(const Value& o, const char* name) {
        return vm().getProperty(o, vm().publicName(QString::fromLatin1(name)));
    }
    void set(const Value& o, const char* name, const Value& v) {
        vm().setProperty(o, vm().publicName(QString::fromLatin1(name)), v);
    }
    Value call(const Value& o, const char* name, std::vector<Value> args = {}) {
        return vm().callProperty(o, vm().publicName(QString::fromLatin1(name)), args);
    }
    Value make(const char* cls, std::vector<Value> args = {}) {
        return vm().construct(vm().lookupDefinition(QString::fromLatin1(cls)), args);
    }

    // `fn` hears every event of `types` that reaches `target`.
    void listenWith(swf::avm2::NativeFn fn, const Value& target,
                    std::initializer_list<const char*> types) {
        const Value logger = Value(static_cast<swf::avm2::Object*>(vm().makeNative("log", fn)));
        for (const char* type : types)
            call(target, "addEventListener", {Value(type), logger});
    }

private:
    swf::avm2::VM& vm() { return static_cast<Fixture*>(this)->vm(); }
};
