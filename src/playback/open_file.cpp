// Open: choose a file, load it into the media device and start playing it; also the files named
// on the command line or dropped on the window, which take the same path.
#include "app/failure.h"
#include "app/form1.h"
#include "app/position_slider.h"
#include "playback/marker_scale.h"

#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QTimer>
#include <QUrl>

namespace snipora {

namespace {
// The first local file among the dragged items; empty when there is none.
QString droppedFile(const QMimeData* mime) {
    if (mime == nullptr || !mime->hasUrls()) {
        return {};
    }
    for (const QUrl& url : mime->urls()) {
        if (url.isLocalFile() && QFileInfo(url.toLocalFile()).isFile()) {
            return url.toLocalFile();
        }
    }
    return {};
}
} // namespace

void Form1::Command4_Click() {
    player().pauseMovie();
    Command1->setText(QStringLiteral("Play"));
    setTimerEnabled(false);
    Cdlg.Filter = QStringLiteral("MP3 Files (*.mp3)|*.mp3|All Files (*.*)|*.*");

    // From the dialog to the bookkeeping of the new name, any failure (a cancel among them) ends
    // Open quietly: the previous file stays open and paused, and the window shows "Play".
    try {
        Cdlg.ShowOpen();
        H->setValue(0);
        player().closeMovie();
        const QString reset = QStringLiteral("0 : 0 : 0");
        Label7->setText(reset);
        Label9->setText(reset);
        Label3->setText(reset);
        markStart = 0;
        markEnd = 0;
        player().Filename = Cdlg.FileName;
        player().openMovieWindow(windowHandleOf(P), QStringLiteral("child"));
        sourceFile = Cdlg.FileName;
        // The next dialog starts with no name filled in.
        Cdlg.FileName.clear();
    } catch (const std::exception&) {
        return;
    }

    // Nothing checks whether the device took the file: the window goes into its playing look
    // and a failing step is skipped.
    skipOnFailure([this] { player().playMovie(); });
    skipOnFailure([this] { Command1->setText(QStringLiteral("Pause")); });
    skipOnFailure([this] { setTimerEnabled(true); });
    skipOnFailure([this] { H->setMax(player().getLengthInSec()); });
    // A maximum of 0 (a file under one second) keeps the previous scale.
    skipOnFailure([this] { markerScale = markerScaleFor(H->maximum()); });
    skipOnFailure([this] { player().timeOut(0.5); });
    skipOnFailure([this] {
        Line1.setX1(170);
        Line1.setX2(170);
        Line2.setX1(9400);
        Line2.setX2(9400);
    });
}

void Form1::openNamedFile(const QString& path) {
    const QFileInfo file(path);
    // The dialog only ever hands back a file that exists; a name from elsewhere is checked here,
    // so that a mistyped name changes nothing.
    if (!file.isFile()) {
        host.messages.show(QStringLiteral("The file %1 cannot be found.")
                               .arg(QDir::toNativeSeparators(file.absoluteFilePath())),
                           MessageStyle::Information);
        return;
    }
    Cdlg.presetOpenAnswer(file.absoluteFilePath());
    Command4_Click();
}

void Form1::dragEnterEvent(QDragEnterEvent* event) {
    // Only while Open could be clicked: a save locks it, and a drop must not open behind it.
    if (Command4->isEnabled() && !droppedFile(event->mimeData()).isEmpty()) {
        event->acceptProposedAction();
    }
}

void Form1::dropEvent(QDropEvent* event) {
    const QString path = droppedFile(event->mimeData());
    if (!Command4->isEnabled() || path.isEmpty()) {
        return;
    }
    event->acceptProposedAction();
    // Open waits while playback starts; the drag source is answered first.
    QTimer::singleShot(0, this, [this, path] {
        if (Command4->isEnabled()) {
            openNamedFile(path);
        }
    });
}

} // namespace snipora
