// A small field over the waveform where a time is typed: Go to, or a mark's own time.
#pragma once

#include <QFrame>

#include <cstdint>
#include <optional>

class QLabel;
class QLineEdit;

namespace snipora {

// Opens with a caption and a text to edit; Enter gives the time typed when it is one (within
// the file), else a word on what is wrong stays beside it and nothing happens; Esc closes it.
class TimeField : public QFrame {
    Q_OBJECT
public:
    explicit TimeField(QWidget* parent);

    // Shows the field with `caption` ("Go to") and `text` selected, and takes the focus.
    // Times past `lengthMs` are refused.
    void open(const QString& caption, const QString& text, std::int64_t lengthMs);
    QLineEdit* edit() const { return edit_; }
    // The word on the last refused text; empty after a good one.
    QString problem() const;

signals:
    void timeEntered(std::int64_t ms);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void enter();
    void dismiss();

    QLabel* caption_;
    QLineEdit* edit_;
    QLabel* problem_;
    std::int64_t lengthMs_ = 0;
};

} // namespace snipora
