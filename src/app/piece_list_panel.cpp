// The list of pieces: on/off, number, start, end, length and an editable title per row.
#include "app/piece_list_panel.h"

#include "core/split_save.h"
#include "core/time_text.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace snipora {

PieceListPanel::PieceListPanel(QWidget* owner) : QWidget(owner, Qt::Tool) {
    setObjectName(QStringLiteral("pieceListPanel"));
    setWindowTitle(tr("Pieces - Snipora"));
    table = new QTableWidget(0, 6, this);
    table->setObjectName(QStringLiteral("pieceTable"));
    table->setHorizontalHeaderLabels(
        {tr("On"), tr("No."), tr("Start"), tr("End"), tr("Length"), tr("Title")});
    table->verticalHeader()->hide();
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                           QAbstractItemView::AnyKeyPressed);
    for (int column = OnColumn; column < TitleColumn; ++column) {
        table->horizontalHeader()->setSectionResizeMode(column, QHeaderView::ResizeToContents);
    }
    table->horizontalHeader()->setSectionResizeMode(TitleColumn, QHeaderView::Stretch);
    table->setToolTip(tr("Click a piece to mark it; double-click its title to "
                         "rename it; untick it to leave it out of Save all"));

    patternField = new QLineEdit(this);
    patternField->setObjectName(QStringLiteral("namePattern"));
    patternField->setText(QString::fromLatin1(defaultPiecePattern));
    patternField->setToolTip(tr("File names: %n the piece's number, %t its title, "
                                "%s the source's name"));
    saveAllButton = new QPushButton(tr("Save all..."), this);
    saveAllButton->setObjectName(QStringLiteral("saveAllButton"));
    saveAllButton->setToolTip(tr("Save every piece that is on, not re-encoded, into "
                                 "a folder"));
    writeCueButton = new QPushButton(tr("Write cue sheet..."), this);
    writeCueButton->setObjectName(QStringLiteral("writeCueButton"));

    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel(tr("Names:"), this));
    row->addWidget(patternField, 1);
    row->addWidget(saveAllButton);
    row->addWidget(writeCueButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(table, 1);
    layout->addLayout(row);
    resize(460, 300);

    connect(table, &QTableWidget::cellClicked, this, [this](int piece, int column) {
        if (column != OnColumn) {
            emit pieceChosen(piece);
        }
    });
    connect(table, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
        if (filling_) {
            return;
        }
        if (item->column() == TitleColumn) {
            emit titleEdited(item->row(), item->text());
        } else if (item->column() == OnColumn) {
            emit switched(item->row(), item->checkState() == Qt::Checked);
        }
    });
    connect(saveAllButton, &QPushButton::clicked, this, [this] {
        if (saving_) {
            emit cancelClicked();
        } else {
            emit saveAllClicked();
        }
    });
    connect(writeCueButton, &QPushButton::clicked, this, &PieceListPanel::writeCueClicked);
}

void PieceListPanel::setPieces(const std::vector<Piece>& pieces) {
    filling_ = true;
    table->setRowCount(static_cast<int>(pieces.size()));
    const auto fixed = [](const QString& text) {
        auto* item = new QTableWidgetItem(text);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        return item;
    };
    for (int row = 0; row < static_cast<int>(pieces.size()); ++row) {
        const Piece& piece = pieces[static_cast<std::size_t>(row)];
        auto* on = new QTableWidgetItem;
        on->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        on->setCheckState(piece.enabled ? Qt::Checked : Qt::Unchecked);
        table->setItem(row, OnColumn, on);
        table->setItem(row, NumberColumn, fixed(QString::number(row + 1)));
        table->setItem(row, StartColumn, fixed(preciseTime(piece.startMs)));
        table->setItem(row, EndColumn, fixed(preciseTime(piece.endMs)));
        table->setItem(row, LengthColumn, fixed(preciseTime(piece.lengthMs())));
        auto* title = new QTableWidgetItem(piece.title);
        title->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable);
        table->setItem(row, TitleColumn, title);
    }
    filling_ = false;
}

void PieceListPanel::setSaving(bool saving) {
    saving_ = saving;
    saveAllButton->setText(saving ? tr("Cancel") : tr("Save all..."));
    table->setEnabled(!saving);
    patternField->setEnabled(!saving);
    writeCueButton->setEnabled(!saving);
}

QString PieceListPanel::namePattern() const {
    return patternField->text().trimmed().isEmpty() ? QString::fromLatin1(defaultPiecePattern)
                                                    : patternField->text().trimmed();
}

void PieceListPanel::setNamePattern(const QString& pattern) {
    patternField->setText(pattern);
}

} // namespace snipora
