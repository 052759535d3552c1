// The cut from the command line, through the same saves as the window.
#include "core/headless_cut.h"

#include "core/convert_save.h"
#include "core/cutting_session.h"
#include "core/direct_save.h"
#include "core/encoder_command.h"
#include "core/file_identity.h"
#include "core/time_text.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace snipora {

std::optional<CutRequest> parseCutArguments(const QStringList& arguments, QString* error) {
    CutRequest request;
    QStringList positional;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& word = arguments[i];
        const bool hasValue = i + 1 < arguments.size();
        if (word == QStringLiteral("-o") || word == QStringLiteral("--format") ||
            word == QStringLiteral("--bitrate")) {
            if (!hasValue) {
                *error = QStringLiteral("%1 needs a value").arg(word);
                return std::nullopt;
            }
            const QString value = arguments[++i];
            if (word == QStringLiteral("-o")) {
                request.output = value;
            } else if (word == QStringLiteral("--format")) {
                request.format = value.toUpper();
            } else {
                request.bitrate = value.toLower();
            }
        } else {
            positional << word;
        }
    }
    if (positional.size() != 3 || request.output.isEmpty()) {
        *error = QStringLiteral("usage: snipora --cut START END INPUT -o OUTPUT "
                                "[--format FORMAT --bitrate RATE]");
        return std::nullopt;
    }
    const auto start = parseTime(positional[0]);
    const auto end = parseTime(positional[1]);
    if (!start || !end) {
        *error = QStringLiteral("%1 is not a time (seconds, or h:mm:ss.mmm)")
                     .arg(!start ? positional[0] : positional[1]);
        return std::nullopt;
    }
    request.startMs = *start;
    request.endMs = *end;
    request.input = QFile::encodeName(positional[2]);
    if (!request.input.startsWith('/')) {
        request.input = QFile::encodeName(QDir::currentPath()) + '/' + request.input;
    }
    if (!request.format.isEmpty() || !request.bitrate.isEmpty()) {
        if (!outputFormats().contains(request.format)) {
            *error = QStringLiteral("--format takes one of %1")
                         .arg(outputFormats().join(QLatin1Char(' ')));
            return std::nullopt;
        }
        if (!outputBitrates().contains(request.bitrate)) {
            *error = QStringLiteral("--bitrate takes one of %1")
                         .arg(outputBitrates().join(QLatin1Char(' ')));
            return std::nullopt;
        }
        request.output = withFormatExtension(request.output, request.format);
    }
    return request;
}

void startCut(const CutRequest& request, MediaCommands& media, ProcessLauncher& processes,
              const QString& programFolder, std::FILE* errors, std::function<void(int)> done) {
    const auto finish = [errors, done](const std::optional<QString>& failure) {
        if (failure) {
            std::fprintf(errors, "snipora: %s\n", failure->toLocal8Bit().constData());
        }
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [done, status = failure ? 1 : 0] { done(status); },
            Qt::QueuedConnection);
    };
    // Lives until the cut is done; the application owns it.
    auto* session = new CuttingSession(media, QCoreApplication::instance());
    if (const auto refusal = session->open(request.input, 0)) {
        finish(refusal);
        return;
    }
    session->pause();
    session->setStart(request.startMs);
    session->setEnd(request.endMs);
    const Selection selection = session->selection();
    if (!selection.isValid() || selection.start != request.startMs ||
        selection.end != request.endMs) {
        finish(QStringLiteral("the section %1 to %2 does not lie within the file (%3 long)")
                   .arg(preciseTime(request.startMs), preciseTime(request.endMs),
                        preciseTime(session->lengthMs())));
        return;
    }
    if (isOpenFile(request.output, session->sourceHandle())) {
        finish(QStringLiteral("the output would replace the input"));
        return;
    }
    if (request.format.isEmpty()) {
        const auto failure =
            runDirectSave(DirectSaveJob{session->sourceHandle(), request.output, selection},
                          [](std::int64_t, std::int64_t) { return true; });
        finish(failure ? std::optional<QString>(QStringLiteral("Save failed: ") + *failure)
                       : std::nullopt);
        return;
    }
    auto* save = new ConvertSave(processes, session);
    QObject::connect(save, &ConvertSave::finished, session, finish);
    save->start(ConvertSaveJob{programFolder, selection, session->sourceAsOpened(), request.format,
                               request.bitrate, request.output});
}

} // namespace snipora
