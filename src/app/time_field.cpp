// The typed-time field: reading the text, refusing what is not a time, Enter and Esc.
#include "app/time_field.h"

#include "core/time_text.h"
#include "widgets/window_layout.h"

#include <QEvent>
#include <QFocusEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>

namespace snipora {

TimeField::TimeField(QWidget* parent)
    : QFrame(parent), caption_(new QLabel(this)), edit_(new QLineEdit(this)),
      problem_(new QLabel(this)) {
    setObjectName(QStringLiteral("timeField"));
    setFrameShape(QFrame::Box);
    // Light, as the rest of the window, over the black panel it lies on.
    fillBackground(this, Qt::white, Qt::black);
    edit_->setObjectName(QStringLiteral("timeEdit"));
    edit_->setPlaceholderText(tr("m:ss.mmm"));
    edit_->setToolTip(tr("m:ss.mmm, h:mm:ss.mmm or seconds (12.5); Enter to go, Esc to close"));
    edit_->setMaxLength(24);
    edit_->setFixedWidth(edit_->fontMetrics().horizontalAdvance(QStringLiteral("00:00:00.0000")));
    QPalette warning = problem_->palette();
    warning.setColor(QPalette::WindowText, QColor(0xb0, 0x00, 0x20)); // 7.4:1 on white
    problem_->setPalette(warning);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(4, 2, 4, 2);
    row->setSpacing(4);
    row->addWidget(caption_);
    row->addWidget(edit_);
    row->addWidget(problem_);
    edit_->installEventFilter(this);
    connect(edit_, &QLineEdit::returnPressed, this, &TimeField::enter);
    connect(edit_, &QLineEdit::textEdited, this, [this] { problem_->clear(); });
    hide();
}

void TimeField::open(const QString& caption, const QString& text, std::int64_t lengthMs) {
    lengthMs_ = lengthMs;
    caption_->setText(caption);
    problem_->clear();
    edit_->setText(text);
    edit_->selectAll();
    adjustSize();
    show();
    raise();
    edit_->setFocus(Qt::ShortcutFocusReason);
}

QString TimeField::problem() const {
    return problem_->text();
}

void TimeField::enter() {
    const std::optional<std::int64_t> ms = parseTime(edit_->text());
    if (!ms) {
        problem_->setText(tr("Not a time: type m:ss.mmm or seconds"));
    } else if (*ms > lengthMs_) {
        problem_->setText(tr("Past the end (%1)").arg(preciseTime(lengthMs_)));
    } else {
        dismiss();
        emit timeEntered(*ms);
        return;
    }
    adjustSize();
    edit_->selectAll();
}

void TimeField::dismiss() {
    hide();
    if (parentWidget() != nullptr) {
        parentWidget()->window()->setFocus(Qt::OtherFocusReason);
    }
}

bool TimeField::eventFilter(QObject* watched, QEvent* event) {
    if (watched == edit_) {
        // Esc belongs to the field while it is open, not to the window's own Esc.
        if (event->type() == QEvent::ShortcutOverride &&
            static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
            event->accept();
            return true;
        }
        if (event->type() == QEvent::KeyPress &&
            static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
            dismiss();
            return true;
        }
        if (event->type() == QEvent::FocusOut && isVisible() &&
            static_cast<QFocusEvent*>(event)->reason() != Qt::ActiveWindowFocusReason &&
            static_cast<QFocusEvent*>(event)->reason() != Qt::PopupFocusReason &&
            static_cast<QFocusEvent*>(event)->reason() != Qt::OtherFocusReason) {
            // Clicking elsewhere leaves the field, as a dialog's Cancel would.
            hide();
        }
    }
    return QFrame::eventFilter(watched, event);
}

} // namespace snipora
