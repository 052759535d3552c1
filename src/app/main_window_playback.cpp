// MainWindow: Open (dialog, command line, drops), Play/Pause, Stop, and how the position is read.
#include "app/main_window.h"

#include "app/remembered_choices.h"
#include "app/waveform_view.h"
#include "core/time_text.h"

#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QFrame>
#include <QHideEvent>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QShowEvent>
#include <QTimer>
#include <QUrl>

#include <functional>

#include <sys/stat.h>

namespace snipora {

namespace {
// The first local file among the dragged items; empty when there is none.
QByteArray droppedFile(const QMimeData* mime) {
    if (mime == nullptr || !mime->hasUrls()) {
        return {};
    }
    for (const QUrl& url : mime->urls()) {
        if (url.isLocalFile() && QFileInfo(url.toLocalFile()).isFile()) {
            return QFile::encodeName(url.toLocalFile());
        }
    }
    return {};
}
// Calls back just before the watched widget's tooltip shows.
class ToolTipWatch : public QObject {
public:
    ToolTipWatch(QWidget* watched, std::function<void()> refresh)
        : QObject(watched), refresh_(std::move(refresh)) {
        watched->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::ToolTip) {
            refresh_();
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> refresh_;
};
} // namespace

void MainWindow::openFile() {
    // Playback pauses while the user chooses; a cancel leaves the file open and paused.
    session_.pause();
    const std::optional<QString> chosen =
        host.dialogs.openFile({tr("MP3 Files (*.mp3)|*.mp3|All Files (*.*)|*.*"), 1, QString(),
                               QString(), remembered(Remembered::OpenFolder)});
    if (!chosen || chosen->isEmpty()) {
        return;
    }
    openNamedFile(QFile::encodeName(*chosen));
}

void MainWindow::openNamedFile(const QByteArray& path) {
    // A cue sheet splits the open file into pieces, or opens the file it names.
    if (path.toLower().endsWith(".cue")) {
        openCueSheetFile(QFile::decodeName(path));
        return;
    }
    // The name's own bytes decide, so that a name that is not valid text still finds its file.
    struct stat info {};
    if (::stat(path.constData(), &info) != 0 || !S_ISREG(info.st_mode)) {
        showFailure(tr("The file %1 cannot be found.")
                        .arg(QDir::toNativeSeparators(
                            QFileInfo(QFile::decodeName(path)).absoluteFilePath())));
        return;
    }
    if (const std::optional<QString> refusal = session_.open(path, windowHandleOf(videoHost))) {
        showFailure(*refusal);
        return;
    }
    remember(Remembered::OpenFolder, QFileInfo(QFile::decodeName(path)).absolutePath());
}

void MainWindow::togglePlayback() {
    session_.togglePlayback();
}

void MainWindow::stop() {
    session_.stop();
}

void MainWindow::watchPositionTip() {
    // While playing, the position is read as seldom as a second: the precise time under the
    // pointer is read afresh as it shows.
    new ToolTipWatch(positionLabel, [this] {
        if (session_.isPlaying()) {
            positionLabel->setToolTip(preciseTime(session_.positionMs()));
        }
    });
}

void MainWindow::followShownPosition() {
    if (!isVisible() || isMinimized()) {
        session_.setPositionStep(std::nullopt);
        return;
    }
    // The time label and the slider change with the second, the waveform's cursor with its
    // column: the step is the longest that divides the second and is no longer than a column,
    // so that the label turns on time and the cursor misses no column.
    const double columnMs = waveformView->msPerPixel();
    std::int64_t step = CuttingSession::positionIntervalMs;
    for (const std::int64_t divisor : {1000, 500, 250, 200, 125, 100, 50}) {
        if (divisor <= columnMs) {
            step = divisor;
            break;
        }
    }
    session_.setPositionStep(step);
}

void MainWindow::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange) {
        followShownPosition();
    }
}

void MainWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    followShownPosition();
}

void MainWindow::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    followShownPosition();
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
    // Only while Open could be clicked: a save locks it, and a drop must not open behind it.
    if (!saveUnderWay_ && !droppedFile(event->mimeData()).isEmpty()) {
        event->acceptProposedAction();
    }
}

void MainWindow::dropEvent(QDropEvent* event) {
    const QByteArray path = droppedFile(event->mimeData());
    if (saveUnderWay_ || path.isEmpty()) {
        return;
    }
    event->acceptProposedAction();
    // The drag source is answered first; the file opens from the event loop.
    QTimer::singleShot(0, this, [this, path] {
        if (!saveUnderWay_) {
            openNamedFile(path);
        }
    });
}

} // namespace snipora
