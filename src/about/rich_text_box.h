// RichTextBox: the About window's text box, filled from a file.
#pragma once

#include <QTextEdit>

#include <optional>

namespace snipora {

class RichTextBox : public QTextEdit {
    Q_OBJECT
public:
    explicit RichTextBox(QWidget* parent = nullptr);

    // Replaces the contents with the file's text: a rich text (RTF) file shows its text, any
    // other file shows as it is. False, the contents left alone, when the file cannot be read.
    bool loadFile(const QString& path);
    // Replaces the contents with the text of a file's bytes, as loadFile shows them.
    void showContents(const QByteArray& contents);
};

// A file's bytes; nothing when it cannot be opened or read whole.
std::optional<QByteArray> readTextFile(const QString& path);

// The text a file's bytes stand for, as RichTextBox::LoadFile shows it.
QString textOfFile(const QByteArray& data);

} // namespace snipora
