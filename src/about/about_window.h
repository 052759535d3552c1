// AboutWindow: the maker's notice, the encoder credits and thanks.txt.
#pragma once

#include <QWidget>

#include <optional>

class QLabel;

namespace snipora {

class ProgramControl;
class RichTextBox;

// The program folder's credits file.
QString creditsFilePath(ProgramControl& program);

class AboutWindow : public QWidget {
    Q_OBJECT
public:
    // Builds the window without showing it and fills the text box with the credits given, else
    // from the program folder's thanks.txt (a file that cannot be read leaves it empty). The
    // window has no owner and deletes itself when closed.
    explicit AboutWindow(ProgramControl& program,
                         const std::optional<QByteArray>& shownCredits = std::nullopt);

    // The program folder's credits file.
    QString creditsFile() const;

    // True once the user has closed the window: it is on its way out and is not shown again.
    bool isClosed() const { return closed_; }

    QLabel* copyrightLabel = nullptr;
    // "Version x.y.z", on the copyright's line at the right.
    QLabel* versionLabel = nullptr;
    QLabel* encoderLabel = nullptr;
    QLabel* encoderCreditLabel = nullptr;
    QLabel* encoderCreditLabel2 = nullptr;
    RichTextBox* credits = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    ProgramControl& program_;
    bool closed_ = false;
};

} // namespace snipora
