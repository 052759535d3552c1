// The command line read with QCommandLineParser, names kept as the bytes the system gave.
#include "core/command_line.h"
#include "core/core_text.h"

#include "core/convert_save.h"
#include "core/encoder_command.h"
#include "core/mp3_gain_fade.h"
#include "core/time_text.h"

#include <QCommandLineParser>

#include <algorithm>

namespace snipora {

namespace {
// Option names, "=" and "--" are ASCII. Read as Latin-1 every other byte stays one character
// and comes back unchanged through toLatin1(), so a name that is not valid text keeps its bytes.
QString bytesAsText(const QByteArray& bytes) {
    return QString::fromLatin1(bytes);
}

QByteArray absoluteName(const QByteArray& name, const QByteArray& workingFolder) {
    return name.startsWith('/') ? name : workingFolder + '/' + name;
}

const QString cutUsage = QStringLiteral(
    "usage: snipora --cut START END INPUT -o OUTPUT [--format FORMAT [--bitrate RATE]]");
const QString removeUsage =
    QStringLiteral("usage: snipora --remove START END [--remove START END]... INPUT -o OUTPUT");
} // namespace

QString usageText() {
    // The split's options stand at %1.
    const QString text = CoreText::tr(
        "Usage: snipora [FILE]\n"
        "  or:  snipora --cut START END INPUT -o OUTPUT [--format FORMAT [--bitrate RATE]]\n"
        "                     [--fade-in MS] [--fade-out MS] [--snap]\n"
        "  or:  snipora --remove START END [--remove START END]... INPUT -o OUTPUT\n"
        "                     [--join-fade | --format FORMAT [--bitrate RATE]] [--snap]\n"
        "  or:  snipora --split INPUT -o FOLDER (--at TIMES | --cue FILE | --pauses |\n"
        "                --every DURATION) [--name PATTERN] [--overwrite]\n"
        "                [--fade-in MS] [--fade-out MS] [--format FORMAT [--bitrate RATE]]\n"
        "Cut a section out of an MP3 file.\n"
        "\n"
        "With FILE, the window opens and plays it. Mark a start and an end, listen to the\n"
        "section with Play Selected, and save it with Direct Save (the MP3 frames, exact to\n"
        "the sample, not re-encoded) or Convert Save (through ffmpeg, in another format).\n"
        "\n"
        "Options:\n"
        "  --cut START END INPUT -o OUTPUT\n"
        "                  save the section from START to END of INPUT as OUTPUT without\n"
        "                  a window, as Direct Save does; times are seconds (12.5) or\n"
        "                  h:mm:ss.mmm (1:02:03.5)\n"
        "  --fade-in MS, --fade-out MS\n"
        "                  with --cut, and with --split for every piece: fade the section\n"
        "                  in from silence and out to silence over MS milliseconds (0 to\n"
        "                  10000); a Direct Save lowers the\n"
        "                  frames' own gains granule by granule (13 ms at 44.1 kHz), without\n"
        "                  re-encoding, a --format conversion fades to the sample; fades\n"
        "                  longer than the section together are shortened to fit\n"
        "  --remove START END INPUT -o OUTPUT\n"
        "                  save INPUT without the section from START to END, as one file,\n"
        "                  without re-encoding; the marks move to the nearest MP3 frame\n"
        "                  edges (at most half a frame: 13 ms at 44.1 kHz) and the times\n"
        "                  taken out are printed; repeated, it takes out every section\n"
        "                  (overlapping ones count once) in the same save; with --format\n"
        "                  the sections come out exact to the sample and each join\n"
        "                  cross-fades over 10 ms\n"
        "  --join-fade     with --remove: soften each join without re-encoding, by\n"
        "                  lowering the frames' gains one or two granules either side\n"
        "  --snap          with --cut or --remove: first move each mark to the middle of the\n"
        "                  quietest 10 ms within 250 ms of it (with --format, to the zero\n"
        "                  crossing nearest that middle), and print where the marks went\n"
        "  -o, --output OUTPUT\n"
        "                  with --cut or --remove: the file to write; an existing one is\n"
        "                  replaced only once the new one is written and checked\n"
        "  --format FORMAT  with --cut, --remove or --split: convert instead, to MP3, WAV,\n"
        "                  AAC, WMA, FLAC, M4A or AC3; each piece of a split is encoded\n"
        "                  and checked as one Convert Save, tagged with its title and\n"
        "                  track number\n"
        "  --bitrate RATE   with --format: 256k, 128k, 64k or 32k (WMA and AC3 also 512k);\n"
        "                  left out for the lossless FLAC and WAV\n"
        "%1"
        "  -h, --help      show this help and exit\n"
        "  --version       show the version and exit\n"
        "\n"
        "An option's value may also follow an equals sign (--format=FLAC); after --, every\n"
        "word is a name or a time, even one that starts with a dash. The window also takes\n"
        "Qt's own options, such as -stylesheet FILE.\n"
        "\n"
        "The exit status of --cut and --remove is 0 only when the output was written and\n"
        "checked, 2 for a mistake on the command line, and 128 + the signal's number when a\n"
        "signal stopped it (the existing output is then kept). That of --split is 0 only when\n"
        "every piece was written and checked; a stopped split keeps the finished pieces.\n");
    return text.arg(splitUsage());
}

CommandLine parseCommandLine(const QList<QByteArray>& arguments, const QByteArray& workingFolder) {
    QStringList words;
    for (const QByteArray& argument : arguments) {
        words << bytesAsText(argument);
    }
    QCommandLineParser parser;
    // Qt's own window options are single-dash words (-stylesheet): each is one option here.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption cut(QStringLiteral("cut"));
    const QCommandLineOption split(QStringLiteral("split"));
    const QCommandLineOption output(QStringList{QStringLiteral("o"), QStringLiteral("output")},
                                    QString(), QStringLiteral("OUTPUT"));
    const QCommandLineOption format(QStringLiteral("format"), QString(), QStringLiteral("FORMAT"));
    const QCommandLineOption bitrate(QStringLiteral("bitrate"), QString(), QStringLiteral("RATE"));
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringLiteral("version"));
    const QCommandLineOption remove(QStringLiteral("remove"));
    const QCommandLineOption fadeIn(QStringLiteral("fade-in"), QString(), QStringLiteral("MS"));
    const QCommandLineOption fadeOut(QStringLiteral("fade-out"), QString(), QStringLiteral("MS"));
    const QCommandLineOption snap(QStringLiteral("snap"));
    const QCommandLineOption joinFade(QStringLiteral("join-fade"));
    parser.addOptions({cut, split, output, format, bitrate, help, version, remove, fadeIn, fadeOut,
                       snap, joinFade});
    addSplitOptions(parser);
    const bool parsed = parser.parse(words);

    CommandLine line;
    if (parser.isSet(help)) {
        line.action = CommandLine::Action::Help;
        return line;
    }
    if (parser.isSet(version)) {
        line.action = CommandLine::Action::Version;
        return line;
    }
    line.action = parser.isSet(cut) || parser.isSet(remove) ? CommandLine::Action::Cut
                  : parser.isSet(split)                     ? CommandLine::Action::Split
                                                            : CommandLine::Action::Window;
    if (!parsed) {
        // The parser's text quotes the word as read; give it back its own bytes.
        line.error = QString::fromLocal8Bit(parser.errorText().toLatin1());
        const QStringList unknown = parser.unknownOptionNames();
        line.windowOptionsMayRemedy =
            !unknown.isEmpty() &&
            std::all_of(unknown.begin(), unknown.end(), [&](const QString& name) {
                return words.contains(QLatin1Char('-') + name);
            });
        return line;
    }
    const QStringList positional = parser.positionalArguments();
    if ((parser.isSet(cut) || parser.isSet(remove)) && parser.isSet(split)) {
        line.error = CoreText::tr("--cut, --remove and --split do not go together");
        return line;
    }
    if (parser.isSet(snap) && line.action != CommandLine::Action::Cut) {
        line.error = CoreText::tr("--snap goes with --cut and --remove");
        return line;
    }
    // Fades in milliseconds, for a cut and for every piece of a split; false on a mistake.
    const auto readFades = [&](std::int64_t& inMs, std::int64_t& outMs) {
        for (const auto& [option, value] :
             {std::pair{&fadeIn, &inMs}, std::pair{&fadeOut, &outMs}}) {
            if (!parser.isSet(*option)) {
                continue;
            }
            bool number = false;
            *value = parser.value(*option).toLongLong(&number);
            if (!number || *value < 0 || *value > maxFadeMs) {
                line.error = CoreText::tr("--%1 takes milliseconds from 0 to %2")
                                 .arg(option->names().constFirst())
                                 .arg(maxFadeMs);
                return false;
            }
        }
        return true;
    };
    // The format and bitrate of a conversion; false on a mistake.
    const auto readFormat = [&](QString& chosenFormat, QString& chosenBitrate) {
        chosenFormat = parser.value(format).toUpper();
        chosenBitrate = parser.value(bitrate).toLower();
        if (parser.isSet(format) && !outputFormats().contains(chosenFormat)) {
            line.error = CoreText::tr("--format takes one of %1")
                             .arg(outputFormats().join(QLatin1Char(' ')));
            return false;
        }
        if (!parser.isSet(format) && parser.isSet(bitrate)) {
            line.error = CoreText::tr("--bitrate goes with --format");
            return false;
        }
        if (!chosenBitrate.isEmpty() && !outputBitrates().contains(chosenBitrate)) {
            line.error = CoreText::tr("--bitrate takes one of %1")
                             .arg(outputBitrates().join(QLatin1Char(' ')));
            return false;
        }
        return true;
    };
    if (line.action == CommandLine::Action::Split) {
        line.split = readSplitRequest(parser, workingFolder, &line.error);
        if (line.error.isEmpty() && readFades(line.split.fadeInMs, line.split.fadeOutMs)) {
            readFormat(line.split.format, line.split.bitrate);
        }
        return line;
    }
    if (parser.isSet(joinFade) && !parser.isSet(remove)) {
        line.error = CoreText::tr("--join-fade goes with --remove");
        return line;
    }
    if (splitOptionsUsed(parser)) {
        line.error = CoreText::tr("--at, --cue, --pauses, --every, --name and --overwrite go "
                                  "with --split");
        return line;
    }
    if (line.action == CommandLine::Action::Window) {
        if (parser.isSet(output) || parser.isSet(format) || parser.isSet(bitrate) ||
            parser.isSet(fadeIn) || parser.isSet(fadeOut)) {
            line.error = CoreText::tr("-o, --format, --bitrate and the fades go with --cut");
        } else if (positional.size() > 1) {
            line.error = CoreText::tr("the window opens one FILE at a time");
        } else if (!positional.isEmpty()) {
            line.file = absoluteName(positional[0].toLatin1(), workingFolder);
        }
        return line;
    }

    CutRequest& request = line.cut;
    request.removeSection = parser.isSet(remove);
    request.snapToQuiet = parser.isSet(snap);
    request.joinFade = parser.isSet(joinFade);
    if (request.removeSection &&
        (parser.isSet(cut) || parser.isSet(fadeIn) || parser.isSet(fadeOut))) {
        line.error = CoreText::tr("--remove goes with none of --cut and the fades (--join-fade "
                                  "softens its joins)");
        return line;
    }
    if (request.joinFade && parser.isSet(format)) {
        line.error = CoreText::tr("--join-fade goes with a Direct Save: a --format conversion "
                                  "cross-fades its joins itself");
        return line;
    }
    // Each --remove takes two times, which stand before INPUT in the order given.
    const auto times = static_cast<qsizetype>(
        request.removeSection ? 2 * parser.optionNames().count(QStringLiteral("remove")) : 2);
    const QByteArray outputName = parser.value(output).toLatin1();
    if (positional.size() != times + 1 || outputName.isEmpty()) {
        line.error = request.removeSection ? removeUsage : cutUsage;
        return line;
    }
    if (!readFades(request.fadeInMs, request.fadeOutMs)) {
        return line;
    }
    for (qsizetype i = 0; i < times; i += 2) {
        const auto start = parseTime(positional[i]);
        const auto end = parseTime(positional[i + 1]);
        if (!start || !end) {
            line.error = CoreText::tr("%1 is not a time (seconds, or h:mm:ss.mmm)")
                             .arg(QString::fromLocal8Bit(
                                 (!start ? positional[i] : positional[i + 1]).toLatin1()));
            return line;
        }
        if (request.removeSection) {
            request.removedSections.push_back(Selection{*start, *end});
        }
    }
    request.startMs = *parseTime(positional[0]);
    request.endMs = *parseTime(positional[1]);
    request.input = absoluteName(positional[times].toLatin1(), workingFolder);
    request.output = absoluteName(outputName, workingFolder);
    if (!readFormat(request.format, request.bitrate)) {
        return line;
    }
    if (parser.isSet(format)) {
        // Only the extension changes, and it is ASCII: the rest of the name keeps its bytes.
        request.output =
            withFormatExtension(bytesAsText(request.output), request.format).toLatin1();
    }
    return line;
}

} // namespace snipora
