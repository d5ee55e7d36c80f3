#include "swf/scriptfilters.h"

#include "swf/render/filters.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace swf {

namespace {

using T = ScriptFilterParam::Type;

const ScriptFilterParam kBlur[] = {
    {"blurX", T::Number, 4}, {"blurY", T::Number, 4}, {"quality", T::Number, 1}};
const ScriptFilterParam kDropShadow[] = {
    {"distance", T::Number, 4}, {"angle", T::Number, 45},  {"color", T::Number, 0},
    {"alpha", T::Number, 1},    {"blurX", T::Number, 4},   {"blurY", T::Number, 4},
    {"strength", T::Number, 1}, {"quality", T::Number, 1}, {"inner", T::Bool, 0},
    {"knockout", T::Bool, 0},   {"hideObject", T::Bool, 0}};
const ScriptFilterParam kGlow[] = {{"color", T::Number, 0xFF0000}, {"alpha", T::Number, 1},
                                   {"blurX", T::Number, 6},        {"blurY", T::Number, 6},
                                   {"strength", T::Number, 2},     {"quality", T::Number, 1},
                                   {"inner", T::Bool, 0},          {"knockout", T::Bool, 0}};
const ScriptFilterParam kBevel[] = {{"distance", T::Number, 4},
                                    {"angle", T::Number, 45},
                                    {"highlightColor", T::Number, 0xFFFFFF},
                                    {"highlightAlpha", T::Number, 1},
                                    {"shadowColor", T::Number, 0},
                                    {"shadowAlpha", T::Number, 1},
                                    {"blurX", T::Number, 4},
                                    {"blurY", T::Number, 4},
                                    {"strength", T::Number, 1},
                                    {"quality", T::Number, 1},
                                    {"type", T::String, 0, "inner"},
                                    {"knockout", T::Bool, 0}};
const ScriptFilterParam kGradient[] = {{"distance", T::Number, 4}, {"angle", T::Number, 45},
                                       {"colors", T::Array},       {"alphas", T::Array},
                                       {"ratios", T::Array},       {"blurX", T::Number, 4},
                                       {"blurY", T::Number, 4},    {"strength", T::Number, 1},
                                       {"quality", T::Number, 1},  {"type", T::String, 0, "inner"},
                                       {"knockout", T::Bool, 0}};
const ScriptFilterParam kColorMatrix[] = {{"matrix", T::Array}};
const ScriptFilterParam kConvolution[] = {
    {"matrixX", T::Number, 0}, {"matrixY", T::Number, 0}, {"matrix", T::Array},
    {"divisor", T::Number, 1}, {"bias", T::Number, 0},    {"preserveAlpha", T::Bool, 1},
    {"clamp", T::Bool, 1},     {"color", T::Number, 0},   {"alpha", T::Number, 0}};

struct ClassParams {
    const char* name;
    const ScriptFilterParam* params;
    std::size_t count;
};
template <std::size_t N> ClassParams entry(const char* name, const ScriptFilterParam (&p)[N]) {
    return {name, p, N};
}
const ClassParams kClasses[] = {entry("BlurFilter", kBlur),
                                entry("DropShadowFilter", kDropShadow),
                                entry("GlowFilter", kGlow),
                                entry("BevelFilter", kBevel),
                                entry("GradientGlowFilter", kGradient),
                                entry("GradientBevelFilter", kGradient),
                                entry("ColorMatrixFilter", kColorMatrix),
                                entry("ConvolutionFilter", kConvolution)};

Rgba rgba(double color, double alpha) {
    const auto c = std::uint32_t(std::int64_t(std::isfinite(color) ? color : 0));
    const double a = std::isfinite(alpha) ? std::clamp(alpha, 0.0, 1.0) : 0;
    return Rgba{std::uint8_t(c >> 16), std::uint8_t(c >> 8), std::uint8_t(c),
                std::uint8_t(std::lround(a * 255))};
}

double finite(double v, double lo, double hi) {
    return std::isfinite(v) ? std::clamp(v, lo, hi) : lo;
}

} // namespace

const ScriptFilterParam* scriptFilterParams(const QString& className, std::size_t* count) {
    for (const auto& c : kClasses)
        if (className == QLatin1String(c.name)) {
            *count = c.count;
            return c.params;
        }
    *count = 0;
    return nullptr;
}

const std::vector<QString>& scriptFilterClasses() {
    static const std::vector<QString> names = [] {
        std::vector<QString> out;
        for (const auto& c : kClasses)
            out.push_back(QString::fromLatin1(c.name));
        return out;
    }();
    return names;
}

std::optional<Filter> filterFromScript(const QString& cls, const ScriptFilterProps& p) {
    Filter f;
    auto common = [&](bool hasAngle) {
        f.blurX = finite(p.number("blurX", 4), 0, 255);
        f.blurY = finite(p.number("blurY", 4), 0, 255);
        f.passes = std::uint8_t(finite(p.number("quality", 1), 0, render::kMaxFilterPasses));
        f.strength = finite(p.number("strength", 1), 0, 255);
        f.knockout = p.boolean("knockout", false);
        if (hasAngle) {
            f.angle = finite(p.number("angle", 45), -1e6, 1e6) * std::numbers::pi / 180;
            f.distance = finite(p.number("distance", 4), -2048, 2048);
        }
        f.compositeSource = true;
    };
    auto bevelType = [&]() {
        const QString type = p.string("type", QStringLiteral("inner"));
        f.inner = type == QLatin1String("inner");
        f.onTop = type == QLatin1String("full");
    };
    if (cls == QLatin1String("BlurFilter")) {
        f.type = FilterType::Blur;
        common(false);
    } else if (cls == QLatin1String("DropShadowFilter")) {
        f.type = FilterType::DropShadow;
        common(true);
        f.colors = {rgba(p.number("color", 0), p.number("alpha", 1))};
        f.inner = p.boolean("inner", false);
        f.compositeSource = !p.boolean("hideObject", false);
    } else if (cls == QLatin1String("GlowFilter")) {
        f.type = FilterType::Glow;
        common(false);
        f.colors = {rgba(p.number("color", 0xFF0000), p.number("alpha", 1))};
        f.inner = p.boolean("inner", false);
    } else if (cls == QLatin1String("BevelFilter")) {
        f.type = FilterType::Bevel;
        common(true);
        f.colors = {rgba(p.number("shadowColor", 0), p.number("shadowAlpha", 1)),
                    rgba(p.number("highlightColor", 0xFFFFFF), p.number("highlightAlpha", 1))};
        bevelType();
    } else if (cls == QLatin1String("GradientGlowFilter") ||
               cls == QLatin1String("GradientBevelFilter")) {
        f.type = cls == QLatin1String("GradientGlowFilter") ? FilterType::GradientGlow
                                                            : FilterType::GradientBevel;
        common(true);
        bevelType();
        const auto colors = p.numbers("colors").value_or(std::vector<double>{});
        const auto alphas = p.numbers("alphas").value_or(std::vector<double>{});
        const auto ratios = p.numbers("ratios").value_or(std::vector<double>{});
        // At most 15 stops, as a movie's own filters hold.
        const std::size_t n =
            std::min({colors.size(), alphas.size(), ratios.size(), std::size_t(15)});
        for (std::size_t i = 0; i < n; ++i) {
            f.colors.push_back(rgba(colors[i], alphas[i]));
            f.ratios.push_back(std::uint8_t(finite(ratios[i], 0, 255)));
        }
    } else if (cls == QLatin1String("ColorMatrixFilter")) {
        f.type = FilterType::ColorMatrix;
        f.matrix = {1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 1, 0};
        if (const auto m = p.numbers("matrix"))
            for (std::size_t i = 0; i < 20 && i < m->size(); ++i)
                f.matrix[i] = float(finite((*m)[i], -1e6, 1e6));
    } else if (cls == QLatin1String("ConvolutionFilter")) {
        f.type = FilterType::Convolution;
        f.matrixX = std::uint8_t(finite(p.number("matrixX", 0), 0, render::kMaxKernelSide));
        f.matrixY = std::uint8_t(finite(p.number("matrixY", 0), 0, render::kMaxKernelSide));
        const auto m = p.numbers("matrix").value_or(std::vector<double>{});
        f.matrix.assign(std::size_t(f.matrixX) * f.matrixY, 0.0f);
        for (std::size_t i = 0; i < f.matrix.size() && i < m.size(); ++i)
            f.matrix[i] = float(finite(m[i], -1e6, 1e6));
        f.divisor = float(finite(p.number("divisor", 1), -1e6, 1e6));
        f.bias = float(finite(p.number("bias", 0), -1e6, 1e6));
        f.preserveAlpha = p.boolean("preserveAlpha", true);
        f.clamp = p.boolean("clamp", true);
        f.defaultColor = rgba(p.number("color", 0), p.number("alpha", 0));
    } else {
        return std::nullopt;
    }
    return f;
}

namespace {

double rgbOf(Rgba c) {
    return double(std::uint32_t(c.r) << 16 | std::uint32_t(c.g) << 8 | c.b);
}

double alphaOf(Rgba c) {
    return c.a / 255.0;
}

} // namespace

ScriptFilterObject scriptFilterObject(const Filter& f) {
    ScriptFilterObject out;
    auto& p = out.properties;
    auto color = [&](std::size_t i) { return i < f.colors.size() ? f.colors[i] : Rgba{}; };
    auto blurs = [&] {
        p.emplace_back("blurX", f.blurX);
        p.emplace_back("blurY", f.blurY);
    };
    auto placed = [&] {
        p.emplace_back("distance", f.distance);
        p.emplace_back("angle", f.angle * 180 / std::numbers::pi);
    };
    auto tail = [&] {
        p.emplace_back("strength", f.strength);
        p.emplace_back("quality", double(f.passes));
    };
    auto bevelType = [&] {
        p.emplace_back("type", QString::fromLatin1(f.onTop ? "full" : f.inner ? "inner" : "outer"));
    };
    switch (f.type) {
    case FilterType::Blur:
        out.className = QStringLiteral("BlurFilter");
        blurs();
        p.emplace_back("quality", double(f.passes));
        break;
    case FilterType::DropShadow:
        out.className = QStringLiteral("DropShadowFilter");
        placed();
        p.emplace_back("color", rgbOf(color(0)));
        p.emplace_back("alpha", alphaOf(color(0)));
        blurs();
        tail();
        p.emplace_back("inner", f.inner);
        p.emplace_back("knockout", f.knockout);
        p.emplace_back("hideObject", !f.compositeSource);
        break;
    case FilterType::Glow:
        out.className = QStringLiteral("GlowFilter");
        p.emplace_back("color", rgbOf(color(0)));
        p.emplace_back("alpha", alphaOf(color(0)));
        blurs();
        tail();
        p.emplace_back("inner", f.inner);
        p.emplace_back("knockout", f.knockout);
        break;
    case FilterType::Bevel:
        out.className = QStringLiteral("BevelFilter");
        placed();
        p.emplace_back("highlightColor", rgbOf(color(1)));
        p.emplace_back("highlightAlpha", alphaOf(color(1)));
        p.emplace_back("shadowColor", rgbOf(color(0)));
        p.emplace_back("shadowAlpha", alphaOf(color(0)));
        blurs();
        tail();
        bevelType();
        p.emplace_back("knockout", f.knockout);
        break;
    case FilterType::GradientGlow:
    case FilterType::GradientBevel: {
        out.className = QString::fromLatin1(
            f.type == FilterType::GradientGlow ? "GradientGlowFilter" : "GradientBevelFilter");
        placed();
        std::vector<double> colors, alphas, ratios;
        for (std::size_t i = 0; i < f.colors.size(); ++i) {
            colors.push_back(rgbOf(f.colors[i]));
            alphas.push_back(alphaOf(f.colors[i]));
            ratios.push_back(i < f.ratios.size() ? f.ratios[i] : 0);
        }
        p.emplace_back("colors", std::move(colors));
        p.emplace_back("alphas", std::move(alphas));
        p.emplace_back("ratios", std::move(ratios));
        blurs();
        tail();
        bevelType();
        p.emplace_back("knockout", f.knockout);
        break;
    }
    case FilterType::ColorMatrix:
        out.className = QStringLiteral("ColorMatrixFilter");
        p.emplace_back("matrix", std::vector<double>(f.matrix.begin(), f.matrix.end()));
        break;
    case FilterType::Convolution:
        out.className = QStringLiteral("ConvolutionFilter");
        p.emplace_back("matrixX", double(f.matrixX));
        p.emplace_back("matrixY", double(f.matrixY));
        p.emplace_back("matrix", std::vector<double>(f.matrix.begin(), f.matrix.end()));
        p.emplace_back("divisor", double(f.divisor));
        p.emplace_back("bias", double(f.bias));
        p.emplace_back("preserveAlpha", f.preserveAlpha);
        p.emplace_back("clamp", f.clamp);
        p.emplace_back("color", rgbOf(f.defaultColor));
        p.emplace_back("alpha", alphaOf(f.defaultColor));
        break;
    }
    return out;
}

} // namespace swf
