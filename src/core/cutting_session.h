// CuttingSession: the open source file, the selection and the player's state, without widgets.
#pragma once

#include "core/selection.h"
#include "media/media_controller.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <optional>

namespace snipora {

enum class PlayerState { NoFile, Stopped, Playing, Paused };

// One cutting session over the single media device. The window forwards the user's actions
// here and renders what the signals report; it keeps no state of its own.
class CuttingSession : public QObject {
    Q_OBJECT
public:
    // How often the position is read at most while playing: often enough for a cursor that
    // moves smoothly and a preview that stops close to its end mark.
    static constexpr int positionIntervalMs = 40;
    // How long after Stop the position goes back to the start, as the device settles.
    static constexpr int stopSettleMs = 1000;

    explicit CuttingSession(MediaCommands& media, QObject* parent = nullptr);
    ~CuttingSession() override;

    // Opens the file (its name's bytes as the file system spells them) and starts playing it.
    // The file stays open for reading while it is the source, so that a save cuts from what was
    // opened even when the name is replaced or deleted meanwhile. On a refusal the reason comes
    // back and the session has no file.
    std::optional<QString> open(const QByteArray& path, std::int32_t windowHandle);
    // Closes every device; the session has no file afterwards.
    void closeAll();

    bool hasSource() const { return state_ != PlayerState::NoFile; }
    const QByteArray& sourcePath() const { return sourcePath_; }
    // The source as the user knows its name.
    QString sourceName() const;
    // The source file as opened (-1 without one); valid while the session keeps the source.
    int sourceHandle() const { return sourceHandle_; }
    // A name under which another program (the encoder) opens the source as it was opened, even
    // should its own name have been replaced or removed since.
    QString sourceAsOpened() const;
    std::int64_t lengthMs() const { return lengthMs_; }

    PlayerState state() const { return state_; }
    bool isPlaying() const { return state_ == PlayerState::Playing; }
    void play();
    void pause();
    // Play when not playing, else pause.
    void togglePlayback();
    // Stops; the position goes back to the start once the device has settled.
    void stop();
    // Moves to `ms` (held within the file), playing on from there when playing.
    void seekTo(std::int64_t ms);
    // The device's position, as heard.
    std::int64_t positionMs();
    // What the window shows of the position changes only at multiples of `ms` (at least
    // positionIntervalMs; nothing when no position is shown, as in a minimised window). While
    // playing, the position is read just after each such change rather than every
    // positionIntervalMs, and at least once a second, so that a long file costs a wake-up a
    // second; a preview and the end of the file are watched as closely as ever.
    void setPositionStep(std::optional<std::int64_t> ms);

    const Selection& selection() const { return selection_; }
    // Whether each mark has been set since the file opened (a mark at 0 may be set or not).
    bool startIsSet() const { return startSet_; }
    bool endIsSet() const { return endSet_; }
    void markStartAtCursor();
    void markEndAtCursor();
    void setStart(std::int64_t ms);
    void setEnd(std::int64_t ms);
    // Puts both marks back as they were, set or not (an undo); the active mark stays.
    void restoreMarks(const Selection& selection, bool startSet, bool endSet);

    // The mark that nudges move: the one set, dragged or picked last (the start at first).
    Mark activeMark() const { return activeMark_; }
    void setActiveMark(Mark mark);
    // Moves the active mark by `ms` (negative: earlier).
    void nudgeActiveMark(std::int64_t ms);
    // Moves the active mark by whole MPEG frames of the source.
    void nudgeActiveMarkByFrames(int frames);
    // What one frame of the source holds, as its first frame header says (1152 samples at
    // 44,100 Hz for a source without one); read when the file opens.
    int samplesPerFrame() const { return samplesPerFrame_; }
    int sampleRate() const { return sampleRate_; }

    // Plays the selection and pauses at its end mark; false (nothing done) when it is invalid.
    bool playSelection();
    bool isPreviewing() const { return previewing_; }
    // How long a stretch at a mark plays: enough to hear what the edge cuts.
    static constexpr std::int64_t edgeStretchMs = 2000;
    // Plays the stretch that starts at the start mark, or the one that ends at the end mark, and
    // pauses at its end; false (nothing done) when that mark is not set.
    bool playAfterStart();
    bool playBeforeEnd();
    // Plays the stretch before the start mark and then, from the end mark, the stretch after it,
    // so that the join of a section taken out is heard; false when the selection is invalid.
    bool playAsCut();
    // Plays the selection over and over until a transport action; false when it is invalid.
    bool loopSelection();
    bool isLooping() const { return looping_; }

    MediaController& player() { return player_; }

signals:
    void sourceChanged();
    void stateChanged(snipora::PlayerState state);
    // The position while playing, and whenever the user moved it.
    void positionChanged(std::int64_t ms);
    void selectionChanged();

private:
    void setState(PlayerState state);
    void endPreview();
    // Plays from `from` and pauses at `to` (the end mark while it is not given).
    void startPreview(std::int64_t from, std::optional<std::int64_t> to);
    void tick();
    // Starts the position timer for the next read after `position`.
    void scheduleTick(std::int64_t position);
    void releaseSource();
    void readFrameShape();
    std::int64_t activeMarkMs() const;
    void moveActiveMarkTo(std::int64_t ms);

    MediaController player_;
    QTimer positionTimer_;
    QTimer stopSettleTimer_;
    std::optional<std::int64_t> positionStepMs_ = positionIntervalMs;
    PlayerState state_ = PlayerState::NoFile;
    QByteArray sourcePath_;
    int sourceHandle_ = -1;
    std::int64_t lengthMs_ = 0;
    Selection selection_;
    bool startSet_ = false;
    bool endSet_ = false;
    bool previewing_ = false;
    bool looping_ = false;
    std::optional<std::int64_t> previewEnd_;
    Mark activeMark_ = Mark::Start;
    int samplesPerFrame_ = 1152;
    int sampleRate_ = 44100;
};

} // namespace snipora
