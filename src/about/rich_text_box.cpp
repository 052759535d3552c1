// RichTextBox: the About window's read-only credits box, filled from a file.
#include "about/rich_text_box.h"

#include "about/rtf_text.h"

#include <QFile>
#include <QStringDecoder>

namespace snipora {

RichTextBox::RichTextBox(QWidget* parent) : QTextEdit(parent) {
    // Nothing typed here would be kept, so the box only shows.
    setReadOnly(true);
    setAcceptRichText(false);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
}

QString textOfFile(const QByteArray& data) {
    if (looksLikeRtf(data)) {
        return rtfToText(data);
    }
    // Plain text: as its byte-order mark says, else UTF-8, else the older single-byte text.
    const auto marked = QStringConverter::encodingForData(data);
    QStringDecoder decoder(marked.value_or(QStringConverter::Utf8),
                           QStringConverter::Flag::Stateless);
    QString text = decoder.decode(data);
    if (decoder.hasError() && !marked) {
        text = QString::fromLatin1(data);
    }
    return text;
}

std::optional<QByteArray> readTextFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    QByteArray contents = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        return std::nullopt;
    }
    return contents;
}

bool RichTextBox::loadFile(const QString& path) {
    const std::optional<QByteArray> contents = readTextFile(path);
    if (contents) {
        showContents(*contents);
    }
    return contents.has_value();
}

void RichTextBox::showContents(const QByteArray& contents) {
    setPlainText(textOfFile(contents));
}

} // namespace snipora
