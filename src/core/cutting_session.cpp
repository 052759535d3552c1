// CuttingSession: opening, the transport, the marks and the preview over the media controller.
#include "core/cutting_session.h"

#include "core/core_text.h"
#include "core/mp3_frame_map.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

#include <fcntl.h>
#include <unistd.h>

namespace snipora {

CuttingSession::CuttingSession(MediaCommands& media, QObject* parent)
    : QObject(parent), player_(media) {
    positionTimer_.setSingleShot(true);
    positionTimer_.setTimerType(Qt::PreciseTimer);
    positionTimer_.setInterval(positionIntervalMs);
    connect(&positionTimer_, &QTimer::timeout, this, &CuttingSession::tick);
    stopSettleTimer_.setSingleShot(true);
    stopSettleTimer_.setInterval(stopSettleMs);
    connect(&stopSettleTimer_, &QTimer::timeout, this, [this] {
        player_.setPositionTo(0);
        emit positionChanged(0);
    });
}

CuttingSession::~CuttingSession() {
    releaseSource();
}

void CuttingSession::releaseSource() {
    if (sourceHandle_ >= 0) {
        ::close(sourceHandle_);
        sourceHandle_ = -1;
    }
}

QString CuttingSession::sourceName() const {
    return QFile::decodeName(sourcePath_);
}

QString CuttingSession::sourceAsOpened() const {
    return QStringLiteral("/proc/%1/fd/%2")
        .arg(QCoreApplication::applicationPid())
        .arg(sourceHandle_);
}

std::optional<QString> CuttingSession::open(const QByteArray& path, std::int32_t windowHandle) {
    endPreview();
    stopSettleTimer_.stop();
    closeAll();
    const std::uint32_t status =
        player_.openMovieWindow(path, windowHandle, QStringLiteral("child"));
    if (const std::optional<QString> refusal = openRefusal(status)) {
        return CoreText::tr("%1 cannot be played: %2.")
            .arg(QFileInfo(QFile::decodeName(path)).fileName(), *refusal);
    }
    sourceHandle_ = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (sourceHandle_ < 0) {
        player_.closeMovie();
        return CoreText::tr("%1 cannot be played: it cannot be read.")
            .arg(QFileInfo(QFile::decodeName(path)).fileName());
    }
    sourcePath_ = path;
    readFrameShape();
    lengthMs_ = std::max<std::int64_t>(player_.getLengthInMS(), 0);
    player_.playMovie();
    state_ = PlayerState::Stopped; // so that the change to Playing is reported
    emit sourceChanged();
    emit selectionChanged();
    setState(PlayerState::Playing);
    emit positionChanged(0);
    return std::nullopt;
}

void CuttingSession::closeAll() {
    endPreview();
    positionTimer_.stop();
    stopSettleTimer_.stop();
    player_.closeMovie();
    releaseSource();
    const bool hadSource = state_ != PlayerState::NoFile;
    sourcePath_.clear();
    activeMark_ = Mark::Start;
    lengthMs_ = 0;
    selection_ = {};
    startSet_ = false;
    endSet_ = false;
    setState(PlayerState::NoFile);
    if (hadSource) {
        emit sourceChanged();
        emit selectionChanged();
        emit positionChanged(0);
    }
}

void CuttingSession::setState(PlayerState state) {
    if (state == PlayerState::Playing) {
        positionTimer_.start(positionIntervalMs);
    } else {
        positionTimer_.stop();
    }
    if (state_ != state) {
        state_ = state;
        emit stateChanged(state);
    }
}

void CuttingSession::play() {
    if (!hasSource()) {
        return;
    }
    endPreview();
    stopSettleTimer_.stop();
    player_.playMovie();
    setState(PlayerState::Playing);
}

void CuttingSession::pause() {
    if (!hasSource()) {
        return;
    }
    endPreview();
    player_.pauseMovie();
    if (state_ == PlayerState::Playing) {
        setState(PlayerState::Paused);
    }
}

void CuttingSession::togglePlayback() {
    if (state_ == PlayerState::Playing) {
        pause();
    } else {
        play();
    }
}

void CuttingSession::stop() {
    if (!hasSource()) {
        return;
    }
    endPreview();
    player_.stopMovie();
    setState(PlayerState::Stopped);
    stopSettleTimer_.start();
}

void CuttingSession::seekTo(std::int64_t ms) {
    if (!hasSource()) {
        return;
    }
    endPreview();
    stopSettleTimer_.stop();
    ms = std::clamp<std::int64_t>(ms, 0, lengthMs_);
    player_.setPositionTo(ms);
    if (state_ == PlayerState::Playing) {
        positionTimer_.start(positionIntervalMs); // the steps are counted from the new place
    }
    emit positionChanged(ms);
}

std::int64_t CuttingSession::positionMs() {
    return hasSource() ? player_.getPositionInMS() : 0;
}

void CuttingSession::setPositionStep(std::optional<std::int64_t> ms) {
    if (ms) {
        ms = std::max<std::int64_t>(*ms, positionIntervalMs);
    }
    if (ms == positionStepMs_) {
        return;
    }
    const bool finer = ms && (!positionStepMs_ || *ms < *positionStepMs_);
    positionStepMs_ = ms;
    // A finer step (the window shown again, a zoom in) is followed from the next read on.
    if (finer && state_ == PlayerState::Playing) {
        positionTimer_.start(positionIntervalMs);
    }
}

void CuttingSession::markStartAtCursor() {
    setStart(positionMs());
}

void CuttingSession::markEndAtCursor() {
    setEnd(positionMs());
}

void CuttingSession::setStart(std::int64_t ms) {
    if (!hasSource()) {
        return;
    }
    selection_.start = std::clamp<std::int64_t>(ms, 0, lengthMs_);
    startSet_ = true;
    activeMark_ = Mark::Start;
    emit selectionChanged();
}

void CuttingSession::setEnd(std::int64_t ms) {
    if (!hasSource()) {
        return;
    }
    selection_.end = std::clamp<std::int64_t>(ms, 0, lengthMs_);
    endSet_ = true;
    activeMark_ = Mark::End;
    emit selectionChanged();
}

void CuttingSession::restoreMarks(const Selection& selection, bool startSet, bool endSet) {
    if (!hasSource()) {
        return;
    }
    selection_.start = std::clamp<std::int64_t>(selection.start, 0, lengthMs_);
    selection_.end = std::clamp<std::int64_t>(selection.end, 0, lengthMs_);
    startSet_ = startSet;
    endSet_ = endSet;
    emit selectionChanged();
}

void CuttingSession::readFrameShape() {
    // Only the first frame's header: a pass over the whole file would hold up the window.
    const auto header = Mp3FrameMap::firstFrameHeader(sourceHandle_);
    samplesPerFrame_ = header ? header->samplesPerFrame : 1152;
    sampleRate_ = header ? header->sampleRate : 44100;
}

void CuttingSession::setActiveMark(Mark mark) {
    if (hasSource() && mark != activeMark_) {
        activeMark_ = mark;
        emit selectionChanged();
    }
}

std::int64_t CuttingSession::activeMarkMs() const {
    return activeMark_ == Mark::End ? selection_.end : selection_.start;
}

void CuttingSession::moveActiveMarkTo(std::int64_t ms) {
    if (activeMark_ == Mark::End) {
        setEnd(ms);
    } else {
        setStart(ms);
    }
}

void CuttingSession::nudgeActiveMark(std::int64_t ms) {
    moveActiveMarkTo(activeMarkMs() + ms);
}

void CuttingSession::nudgeActiveMarkByFrames(int frames) {
    const std::int64_t rate = sampleRate_;
    // The mark's sample moves by the frame's samples; the mark keeps to the nearest
    // millisecond, so that a step back returns to where it was.
    const std::int64_t sample =
        (activeMarkMs() * rate + 999) / 1000 + std::int64_t{frames} * samplesPerFrame_;
    moveActiveMarkTo((sample * 1000 + rate / 2) / rate);
}

bool CuttingSession::playSelection() {
    if (!selection_.isValid() || !hasSource()) {
        return false;
    }
    startPreview(selection_.start, std::nullopt);
    return true;
}

bool CuttingSession::playAfterStart() {
    if (!hasSource() || !startSet_) {
        return false;
    }
    startPreview(selection_.start, std::min(selection_.start + edgeStretchMs, lengthMs_));
    return true;
}

bool CuttingSession::playBeforeEnd() {
    if (!hasSource() || !endSet_) {
        return false;
    }
    startPreview(std::max<std::int64_t>(selection_.end - edgeStretchMs, 0), selection_.end);
    return true;
}

bool CuttingSession::playAsCut() {
    if (!selection_.isValid() || !hasSource()) {
        return false;
    }
    endPreview();
    stopSettleTimer_.stop();
    const std::int64_t from = std::max<std::int64_t>(selection_.start - edgeStretchMs, 0);
    // The device jumps from the start mark to the end mark inside its own decoding, at the
    // sample: a jump sent from here would restart the sound output and leave a gap.
    player_.playMovieSkipping(from, selection_.start, selection_.end);
    setState(PlayerState::Playing);
    previewing_ = true;
    previewEnd_ = std::min(selection_.end + edgeStretchMs, lengthMs_);
    emit positionChanged(from);
    return true;
}

bool CuttingSession::loopSelection() {
    if (!playSelection()) {
        return false;
    }
    looping_ = true;
    return true;
}

void CuttingSession::startPreview(std::int64_t from, std::optional<std::int64_t> to) {
    endPreview();
    stopSettleTimer_.stop();
    player_.playMovie();
    // The device is playing now, so this starts again from `from`.
    player_.setPositionTo(from);
    setState(PlayerState::Playing);
    previewing_ = true;
    previewEnd_ = to;
    emit positionChanged(from);
}

void CuttingSession::endPreview() {
    previewing_ = false;
    looping_ = false;
    previewEnd_.reset();
}

void CuttingSession::tick() {
    const std::int64_t position = player_.getPositionInMS();
    // The end mark is read afresh on every tick: a mark moved during the preview moves its stop.
    if (previewing_ && position >= previewEnd_.value_or(selection_.end)) {
        if (looping_ && selection_.isValid()) {
            player_.setPositionTo(selection_.start);
            positionTimer_.start(positionIntervalMs);
            emit positionChanged(selection_.start);
            return;
        }
        endPreview();
        player_.pauseMovie();
        setState(PlayerState::Paused);
        emit positionChanged(position);
        return;
    }
    if (!player_.isMoviePlaying()) {
        // The device stopped by itself at the end of the file: playback is over, and the next
        // Play starts from the beginning.
        endPreview();
        player_.setPositionTo(0);
        setState(PlayerState::Stopped);
        emit positionChanged(0);
        return;
    }
    scheduleTick(position);
    emit positionChanged(position);
}

void CuttingSession::scheduleTick(std::int64_t position) {
    // A preview's end mark can move, and a play as cut jumps past a section: its end is watched
    // at every interval, as is a step no coarser than that.
    if (previewing_ || positionStepMs_ == positionIntervalMs) {
        positionTimer_.start(positionIntervalMs);
        return;
    }
    // The device watches its output as it is read (a stretch that does not start, a sound
    // server that stalls): it is read at least once a second, shown or not.
    constexpr std::int64_t watchMs = 1000;
    const std::int64_t step = std::min(positionStepMs_.value_or(watchMs), watchMs);
    // The device passes on its position every few tens of milliseconds: read a little after the
    // step, so that the read sees it.
    constexpr std::int64_t lateMs = 20;
    const std::int64_t toStep = step - ((position % step) + step) % step + lateMs;
    // Played at its own pace, the file ends `lengthMs_ - position` from now; the last interval
    // before it is watched closely, so that the end of the file is noticed as soon as ever.
    const std::int64_t toEnd = lengthMs_ - position - positionIntervalMs;
    positionTimer_.start(
        static_cast<int>(std::max<std::int64_t>(std::min(toStep, toEnd), positionIntervalMs)));
}

} // namespace snipora
