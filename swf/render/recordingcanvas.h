#pragma once

#include "swf/render/canvas.h"

#include <vector>

namespace swf::render {

// Keeps every call, for tests that check what the renderer asked for.
class RecordingCanvas : public Canvas {
public:
    enum class Op { Save, Restore, Clip, Fill, Stroke, Image };
    struct Call {
        Op op;
        QPainterPath path;
        QBrush brush;
        QPen pen;
        QTransform matrix;
        QImage image;
        bool smooth = false;
    };

    void save() override { m_calls.push_back({Op::Save, {}, {}, {}, {}, {}, false}); }
    void restore() override { m_calls.push_back({Op::Restore, {}, {}, {}, {}, {}, false}); }
    void clip(const QPainterPath& path, const QTransform& m) override {
        m_calls.push_back({Op::Clip, path, {}, {}, m, {}, false});
    }
    void fillPath(const QPainterPath& path, const QBrush& brush, const QTransform& m,
                  bool smooth) override {
        m_calls.push_back({Op::Fill, path, brush, {}, m, {}, smooth});
    }
    void strokePath(const QPainterPath& devicePath, const QPen& pen) override {
        m_calls.push_back({Op::Stroke, devicePath, {}, pen, {}, {}, false});
    }
    void drawImage(const QImage& image, const QTransform& m, bool smooth) override {
        m_calls.push_back({Op::Image, {}, {}, {}, m, image, smooth});
    }

    QRectF visibleArea() const override { return m_visible; }
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
    std::vector<Call> m_calls;
    QRectF m_visible;
};

} // namespace swf::render
