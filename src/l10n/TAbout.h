#pragma once

#include <QDialog>

class QLabel;
class QPlainTextEdit;
class QTableWidget;

namespace kvz {

class KvizorApp;

// The about window: the program's title and statement, the thanks box and the grid of
// installed languages; a language row opens that file's details.
class TAbout : public QDialog {
    Q_OBJECT
public:
    explicit TAbout(KvizorApp& app);

    QLabel* Image1 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Information1 = nullptr;  // msg[055]
    QLabel* Information3 = nullptr;  // author line
    QLabel* Label4 = nullptr;        // thanks heading
    QPlainTextEdit* Memo1 = nullptr; // thanks
    QLabel* Label5 = nullptr;        // heads the grid
    QLabel* Label6 = nullptr;        // release date
    QTableWidget* RxDrawGrid1 = nullptr;

    // The details of language row `row` (1 = first language) as the information dialog shows
    // them; empty for the title row or a row that does not exist.
    QString languageDetails(int row) const;

protected:
    void showEvent(QShowEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void fillGrid();
    void showDetails(int row);
    KvizorApp& app_;
};

} // namespace kvz
