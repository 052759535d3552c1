// MainWindow: builds the controls, forwards the user's actions to the cutting session and the
// saves, and renders what they report.
#pragma once

#include "core/cutting_session.h"
#include "core/save_outcome.h"
#include "platform/host.h"
#include "platform/window_procedure.h"
#include "widgets/window_layout.h"

#include <QPointer>
#include <QWidget>

#include <cstdint>
#include <memory>
#include <optional>

class QAction;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTimer;
class QToolButton;
class QUndoStack;

namespace snipora {

class AboutController;
class BackgroundWork;
class BrowserPanel;
class ConvertSave;
class DetailPeakComputer;
class DirectSave;
class MarkTrails;
class PieceList;
class PieceListPanel;
class PositionSlider;
class TimeField;
class WaveformPeakComputer;
class WaveformView;
class WindowMenu;

class MainWindow : public QWidget {
    Q_OBJECT
public:
    // Builds the window and its controls with their start-up settings; sends nothing.
    explicit MainWindow(const Host& host, QWidget* parent = nullptr);
    ~MainWindow() override;

    // Start-up: the window-menu entry, showing the window, its message procedure, the credits
    // check (which ends the program when thanks.txt is missing), then the web panel's page.
    void start();
    // Closes the media device and ends the program at once; a running save is ended first.
    [[noreturn]] void quit();

    // The user's actions.
    void openFile();
    // Opens a file named outside the dialog (the command line, a drop) as if picked in it;
    // a name that is not an existing file is refused with a message. A cue sheet is read
    // as by openCueSheetFile.
    void openNamedFile(const QByteArray& path);
    void togglePlayback();
    void stop();
    void markStart();
    void markEnd();
    void playSelection();
    void directSave();
    void convertSave();
    // Typed times (main_window_marks.cpp): the Go to field moves the cursor, a mark's field
    // moves that mark and makes it the active one.
    void goToTime();
    void editMarkTime(Mark mark);
    // The edges of the cut (main_window_edges.cpp): the source without the selection, joined on
    // frame edges, after the user has seen where those edges are; the marks moved to the quiet
    // near them; the stretch before the start mark followed by the one after the end mark.
    void saveWithoutSelection();
    void snapMarksToQuiet(bool start, bool end);
    void playAsCut();
    // Asks whether to stop the running save, and stops it on Yes; false when nothing was stopped.
    bool cancelSave();

    // Pieces (main_window_pieces.cpp): a split point at the cursor or at both marks, the one
    // picked (else the one nearest the cursor) removed, cue sheets read and written, Save all.
    void addSplitPoint();
    void splitAtMarks();
    void removeSplitPoint();
    void openCueSheet();
    void openCueSheetFile(const QString& path);
    void writeCueSheet();
    void saveAllPieces();
    // Decodes the file (once) on a worker thread, then splits in the middle of every pause.
    void splitAtPauses();
    // Asks for a time and splits every that often.
    void splitEvery();
    const PieceList& pieces() const;
    // Where a time is typed; over the waveform panel, hidden until asked for, and built then.
    TimeField* timeField();
    // A tool window beside this one, shown while the file has more than one piece; built when
    // first needed, since most files are never split.
    PieceListPanel* pieceListPanel();

    CuttingSession& session() { return session_; }
    bool isSaving() const;
    // The controls a save locks, in the order they are disabled and enabled again.
    QList<QWidget*> lockedControls() const;
    // A stable 32-bit identifier of a widget, handed to the media service as a window handle.
    static std::int32_t windowHandleOf(const QWidget* widget);

    const Host host;

    // Controls, owned by this window through Qt's parent tree.
    QLabel* positionLabel = nullptr;
    QPushButton* playPauseButton = nullptr;
    QPushButton* stopButton = nullptr;
    QPushButton* openButton = nullptr;
    QLabel* startLabel = nullptr;
    QPushButton* markStartButton = nullptr;
    QLabel* endLabel = nullptr;
    QPushButton* markEndButton = nullptr;
    QPushButton* websiteButton = nullptr;
    QFrame* displayPanel = nullptr;
    // The waveform of the open file with the cursor and the marks, filling the black panel.
    WaveformView* waveformView = nullptr;
    PositionSlider* positionSlider = nullptr;
    QLabel* selectionLengthLabel = nullptr;
    QLabel* lengthLabel = nullptr;
    QPushButton* playSelectionButton = nullptr;
    QPushButton* directSaveButton = nullptr;
    QPushButton* convertSaveButton = nullptr;
    QComboBox* formatList = nullptr;
    QComboBox* bitrateList = nullptr;
    QProgressBar* saveProgress = nullptr;
    BrowserPanel* webPanel = nullptr;
    // Fade lengths for both saves, in milliseconds (0: none), and the menu of the edges' actions.
    QSpinBox* fadeInBox = nullptr;
    QSpinBox* fadeOutBox = nullptr;
    QToolButton* edgesButton = nullptr;
    QAction* playAsCutAction = nullptr;
    QAction* snapAction = nullptr;
    // When checked, a mark set at the cursor goes to the quiet near it at once.
    QAction* snapOption = nullptr;
    QAction* saveWithoutSelectionAction = nullptr;
    // Over the waveform: where snapped or rounded marks went.
    MarkTrails* markTrails = nullptr;
    // Undo and redo of the marks and the split points; cleared when another file opens.
    QUndoStack* undoStack = nullptr;
    // Lies outside the window and is never shown; it lends its handle to the media device.
    QFrame* videoHost = nullptr;

    // The window's replaceable message procedure, and its own window menu whose choices are
    // delivered there (owned by this window).
    WindowProcedure windowProcedure{*this};
    WindowMenu* windowMenu = nullptr;
    // The About entry, window and Website button. Declared after the procedure that holds its
    // handler, so that it is destroyed before it.
    std::unique_ptr<AboutController> about;

protected:
    // The close box, the window menu's Close and the keyboard close command end the program;
    // during a save the user is asked first.
    void closeEvent(QCloseEvent* event) override;
    // A file dropped on the window opens as if picked in the Open dialog.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    // Past the start-up size the waveform panel takes the room (main_window_size.cpp).
    void resizeEvent(QResizeEvent* event) override;
    // Minimised or hidden, the window shows no position, and playing reads it only where the
    // playback needs it (main_window_playback.cpp).
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    // Tells the session how finely the position is shown now (main_window_playback.cpp).
    void followShownPosition();
    // The time label's precise tooltip is read afresh as it shows.
    void watchPositionTip();
    void createControls();
    void connectSession();
    void createShortcuts();
    void createMarkControls();
    // Zoom and scroll keys, and the samples of a zoomed view (main_window_marks.cpp).
    void createZoomControls();
    // Keys to hear the edges of the selection (main_window_marks.cpp).
    void createEdgeKeys();
    // The fade boxes and the edges' menu, below the waveform panel (main_window_edges.cpp).
    void createEdgeControls();
    void setEdgeControlsEnabled(bool enabled);
    // Direct Save of the selection, or of the source without the sections given.
    void startDirectSave(const std::vector<Selection>& removedSections);
    // What Save without selection takes out: the selection and the pieces switched off.
    std::vector<Selection> sectionsToTakeOut() const;
    // The window's size: how each control follows it, and its place between starts.
    void createGrowingLayout();
    void createPieceControls();
    bool piecesSaving() const;
    void cancelPieceSave();
    // Stops a running search for pauses; false when none was running.
    bool cancelPauseSearch();
    void endPieceWork();
    void restoreWindowPlace();
    void saveWindowPlace() const;
    // "<file> - Snipora" while a file is open.
    QString titleText() const;
    void showMessage(const QString& text);
    // A failure or a refusal: the same box with the warning icon.
    void showFailure(const QString& text);
    bool selectionIsValid();
    void enterSavingState();
    void leaveSavingState();
    // The bar as it is between saves: empty, without text.
    void showIdleProgress();
    // The bitrate list for the chosen format: off for a lossless one, and without the bitrates
    // its encoder cannot give.
    void offerBitrates();
    std::optional<QString> askSavePath(const QString& filter, const QString& extension,
                                       const QString& marksPrefix = QString());
    bool targetIsFree(const QString& target, const QString& inUseText);
    // Ends the saving state and tells the outcome, naming the target.
    void saveFinished(SaveKind save, const SaveOutcome& outcome, const QString& target);

    void renderState(PlayerState state);
    void renderPosition(std::int64_t ms);
    void renderSelection();
    void renderSource();

    CuttingSession session_;
    // From the moment a save asks for its file until it has ended: the controls that would
    // change what is saved are locked, and nothing opens a file meanwhile.
    bool saveUnderWay_ = false;
    WaveformPeakComputer* peakComputer_ = nullptr;
    DirectSave* directSave_ = nullptr;
    ConvertSave* convertSave_ = nullptr;
    // Steps the bar while a Convert Save gives no progress of its own.
    QTimer* progressPulse_ = nullptr;
    bool sliderHeld_ = false;
    DetailPeakComputer* detailComputer_ = nullptr;
    // What the last save changed of what was asked, told with its outcome.
    QString saveNotice_;
    // Snapping and a removal's frame edges read the source off the window's thread.
    BackgroundWork* edgeWork_ = nullptr;
    struct PieceWork;
    PieceWork* pieceWork_ = nullptr;           // owned by this window through Qt's parent tree
    PieceListPanel* pieceListPanel_ = nullptr; // owned by this window through Qt's parent tree
    TimeField* timeField_ = nullptr; // owned by the waveform panel through Qt's parent tree
    GrowingLayout windowLayout_;
    GrowingLayout panelLayout_;
};

} // namespace snipora
