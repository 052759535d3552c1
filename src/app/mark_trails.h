// Over the waveform: where marks were moved from and to (snapped to quiet, or rounded to frame
// edges).
#pragma once

#include <QString>
#include <QWidget>

#include <cstdint>
#include <vector>

namespace snipora {

class WaveformView;

// A see-through layer over the view that lets every click through to it. Each trail is a dashed
// line where a mark was, an arrow to where it went, and a few words at the arrow.
class MarkTrails : public QWidget {
    Q_OBJECT
public:
    struct Trail {
        std::int64_t fromMs = 0;
        std::int64_t toMs = 0;
        QString text;
    };

    explicit MarkTrails(WaveformView* view);
    void show(std::vector<Trail> trails);
    void clear();
    const std::vector<Trail>& trails() const { return trails_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    // Follows the view's size.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    WaveformView* view_;
    std::vector<Trail> trails_;
};

} // namespace snipora
