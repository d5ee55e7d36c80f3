#pragma once

#include "swf/render/canvas.h"

#include <vector>

namespace swf::render {

// Keeps every call, for tests that check what the renderer asked for.
class RecordingCanvas : public Canvas {
public:
    enum class Op { Save, Restore, Clip, Fill, Stroke, Image, BeginLayer, EndLayer };
    struct Call {
        Op op = Op::Save;
        QPainterPath path;
        QBrush brush;
        QPen pen;
        QTransform matrix;
        QImage image;
        bool smooth = false;
        QRectF area;          // BeginLayer
        double reach = 0;     // BeginLayer
        LayerEffects effects; // EndLayer
    };

    void save() override { add(Op::Save); }
    void restore() override { add(Op::Restore); }
    void clip(const QPainterPath& path, const QTransform& m) override {
        Call& c = add(Op::Clip);
        c.path = path;
        c.matrix = m;
    }
    void fillPath(const QPainterPath& path, const QBrush& brush, const QTransform& m,
                  bool smooth) override {
        Call& c = add(Op::Fill);
        c.path = path;
        c.brush = brush;
        c.matrix = m;
        c.smooth = smooth;
    }
    void strokePath(const QPainterPath& devicePath, const QPen& pen) override {
        Call& c = add(Op::Stroke);
        c.path = devicePath;
        c.pen = pen;
    }
    void drawImage(const QImage& image, const QTransform& m, bool smooth) override {
        Call& c = add(Op::Image);
        c.image = image;
        c.matrix = m;
        c.smooth = smooth;
    }
    QRectF visibleArea() const override { return m_visible; }
    void beginLayer(const QRectF& area, double reach) override {
        Call& c = add(Op::BeginLayer);
        c.area = area;
        c.reach = reach;
    }
    void endLayer(const LayerEffects& effects) override { add(Op::EndLayer).effects = effects; }
    // Unbounded (empty) unless a test sets it.
    void setVisibleArea(const QRectF& area) { m_visible = area; }

    const std::vector<Call>& calls() const { return m_calls; }
    // The calls of one kind, in order.
    std::vector<Call> calls(Op op) const {
        std::vector<Call> out;
        for (const Call& c : m_calls) {
            if (c.op == op)
                out.push_back(c);
        }
        return out;
    }
    void clear() { m_calls.clear(); }

private:
    Call& add(Op op) {
        m_calls.emplace_back();
        m_calls.back().op = op;
        return m_calls.back();
    }

    std::vector<Call> m_calls;
    QRectF m_visible;
};

} // namespace swf::render
