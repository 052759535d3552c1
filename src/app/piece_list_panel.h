// The list of pieces: a window beside the main one, shown while the source has split points.
#pragma once

#include "core/pieces.h"

#include <QWidget>

#include <cstdint>
#include <vector>

class QLineEdit;
class QPushButton;
class QTableWidget;

namespace snipora {

// Shows the pieces and reports what the user does to them; the main window decides what that
// means and sets the pieces back.
class PieceListPanel : public QWidget {
    Q_OBJECT
public:
    enum Column { OnColumn, NumberColumn, StartColumn, EndColumn, LengthColumn, TitleColumn };

    // A tool window of `owner`, which it follows in and out of sight.
    explicit PieceListPanel(QWidget* owner);

    void setPieces(const std::vector<Piece>& pieces);
    // While Save all runs its button cancels it, and the list cannot be changed.
    void setSaving(bool saving);
    QString namePattern() const;
    void setNamePattern(const QString& pattern);

    QTableWidget* table = nullptr;
    QLineEdit* patternField = nullptr;
    QPushButton* saveAllButton = nullptr;
    QPushButton* writeCueButton = nullptr;

signals:
    void pieceChosen(int piece);
    void titleEdited(int piece, const QString& title);
    void switched(int piece, bool on);
    void saveAllClicked();
    void cancelClicked();
    void writeCueClicked();

private:
    bool filling_ = false;
    bool saving_ = false;
};

} // namespace snipora
