// Reading the command line as given, and the answers that need no work.
#include "core/program_start.h"

#include <cstdio>
#include <filesystem>

namespace snipora {

QList<QByteArray> argumentBytes(int argc, char* argv[]) {
    QList<QByteArray> arguments;
    for (int i = 0; i < argc; ++i) {
        arguments << QByteArray(argv[i]);
    }
    return arguments;
}

QByteArray workingFolder() {
    std::error_code error;
    return QByteArray::fromStdString(std::filesystem::current_path(error).native());
}

std::optional<int> answerAtOnce(const CommandLine& line) {
    if (line.action == CommandLine::Action::Help) {
        std::fputs(usageText().toLocal8Bit().constData(), stdout);
        return 0;
    }
    if (line.action == CommandLine::Action::Version) {
        std::printf("snipora %s\n", SNIPORA_VERSION);
        return 0;
    }
    if (!line.error.isEmpty()) {
        std::fprintf(stderr, "snipora: %s\nTry 'snipora --help' for more information.\n",
                     line.error.toLocal8Bit().constData());
        return 2;
    }
    return std::nullopt;
}

} // namespace snipora
