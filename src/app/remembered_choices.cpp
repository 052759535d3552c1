// The window's remembered choices, kept in the user's settings through QSettings.
#include "app/remembered_choices.h"

#include <QSettings>

namespace snipora {

namespace {
QString keyOf(Remembered what) {
    switch (what) {
    case Remembered::OpenFolder:
        return QStringLiteral("folders/open");
    case Remembered::SaveFolder:
        return QStringLiteral("folders/save");
    case Remembered::Format:
        return QStringLiteral("convert/format");
    case Remembered::Bitrate:
        return QStringLiteral("convert/bitrate");
    case Remembered::FadeIn:
        return QStringLiteral("edges/fade-in");
    case Remembered::FadeOut:
        return QStringLiteral("edges/fade-out");
    case Remembered::SnapToQuiet:
        return QStringLiteral("edges/snap-to-quiet");
    case Remembered::PieceNames:
        return QStringLiteral("pieces/name-pattern");
    }
    return {};
}
} // namespace

QString remembered(Remembered what) {
    const QSettings settings(QString::fromLatin1(settingsOrganisation),
                             QString::fromLatin1(settingsApplication));
    return settings.value(keyOf(what)).toString();
}

void remember(Remembered what, const QString& value) {
    QSettings settings(QString::fromLatin1(settingsOrganisation),
                       QString::fromLatin1(settingsApplication));
    settings.setValue(keyOf(what), value);
}

} // namespace snipora
