// Form2: the About window, with the maker's notice, the encoder credits and thanks.txt.
#pragma once

#include <QWidget>

class QLabel;

namespace snipora {

class ProgramControl;
class RichTextBox;

class Form2 : public QWidget {
    Q_OBJECT
public:
    // Loads the window without showing it: the controls are built and Form_Load runs. The
    // window has no owner and deletes itself when closed (it unloads).
    explicit Form2(ProgramControl& program);

    // Underlines the notice and fills the text box from the program folder's thanks.txt; a file
    // that cannot be read leaves the box empty and says nothing.
    void Form_Load();

    // The program folder's credits file.
    QString creditsFile() const;

    // True once the user has closed the window: it is on its way out and is not shown again.
    bool isUnloaded() const { return unloaded_; }

    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label4 = nullptr;
    RichTextBox* RichTextBox1 = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    ProgramControl& program_;
    bool unloaded_ = false;
};

} // namespace snipora
