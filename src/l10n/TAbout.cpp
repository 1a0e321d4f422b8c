#include "l10n/TAbout.h"

#include "app/KvizorApp.h"
#include "l10n/Cp1251.h"
#include "l10n/Language.h"
#include "platform/Dialogs.h"
#include "shell/IniFile.h"
#include "shell/RunState.h"

#include <QGridLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTableWidget>
#include <QVBoxLayout>

namespace kvz {

namespace {
const QString kReleaseDate = QStringLiteral("21.10.2003");
}

TAbout::TAbout(KvizorApp& app) : app_(app) {
    setObjectName(QStringLiteral("About"));
    setWindowTitle(QStringLiteral("О программе..."));

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    // The title, three labels over each other: shadow, light and face.
    auto* title = new QWidget(this);
    title->setFixedHeight(40);
    Label1 = new QLabel(title);
    Label2 = new QLabel(title);
    Label3 = new QLabel(title);
    const QColor colours[] = {QColor(128, 128, 128), QColor(255, 255, 255),
                              palette().color(QPalette::Window)};
    const QPoint offsets[] = {QPoint(2, 2), QPoint(-1, -1), QPoint(0, 0)};
    int i = 0;
    for (QLabel* l : {Label1, Label2, Label3}) {
        l->setObjectName(QStringLiteral("Label%1").arg(i + 1));
        QFont f = l->font();
        f.setPointSize(18);
        f.setBold(true);
        l->setFont(f);
        QPalette p = l->palette();
        p.setColor(QPalette::WindowText, colours[i]);
        l->setPalette(p);
        l->setGeometry(QRect(offsets[i] + QPoint(0, 0), QSize(320, 40)));
        ++i;
    }
    // A double-click on the title (its top label) closes the window too.
    Label3->installEventFilter(this);
    Label2->installEventFilter(this);

    Information1 = new QLabel(this);
    Information1->setObjectName(QStringLiteral("Information1"));
    Information1->setWordWrap(true);
    Information1->setMinimumHeight(6 * fontMetrics().height());
    Information1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Information3 = new QLabel(QStringLiteral("Автор: команда разработчиков Квизора ФЫВ"), this);
    Information3->setObjectName(QStringLiteral("Information3"));
    Label6 = new QLabel(this);
    Label6->setObjectName(QStringLiteral("Label6"));
    Label4 =
        new QLabel(QStringLiteral("Отдельное спасибо за помощь в разработке программы:"), this);
    Label4->setObjectName(QStringLiteral("Label4"));
    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setReadOnly(true);
    Memo1->setMaximumHeight(70);
    Label5 = new QLabel(QStringLiteral("Перевод:"), this);
    Label5->setObjectName(QStringLiteral("Label5"));

    RxDrawGrid1 = new QTableWidget(0, 2, this);
    RxDrawGrid1->setObjectName(QStringLiteral("RxDrawGrid1"));
    RxDrawGrid1->setSelectionBehavior(QAbstractItemView::SelectRows);
    RxDrawGrid1->setSelectionMode(QAbstractItemView::SingleSelection);
    RxDrawGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    RxDrawGrid1->verticalHeader()->hide();
    RxDrawGrid1->horizontalHeader()->hide();
    RxDrawGrid1->horizontalHeader()->setStretchLastSection(true);
    RxDrawGrid1->setIconSize(QSize(16, 16));
    RxDrawGrid1->setMinimumHeight(90);
    RxDrawGrid1->installEventFilter(this);
    connect(RxDrawGrid1, &QTableWidget::cellDoubleClicked, this,
            [this](int row, int) { showDetails(row); });

    auto* top = new QHBoxLayout;
    top->addWidget(Image1);
    top->addWidget(title, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(Information1);
    layout->addWidget(Information3);
    layout->addWidget(Label6);
    layout->addWidget(Label4);
    layout->addWidget(Memo1);
    layout->addWidget(Label5);
    layout->addWidget(RxDrawGrid1);
    setMinimumWidth(420);
}

void TAbout::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    const MessageTable& m = app_.messages();
    Image1->setPixmap(QPixmap(QStringLiteral(":/kvizor/images/mode_b.png")));
    for (QLabel* l : {Label1, Label2, Label3})
        l->setText(m.text(0) + QStringLiteral(" 1.60"));
    Information1->setText(m.text(55));
    Label6->setText(m.text(57) + kReleaseDate);
    fillGrid();
}

void TAbout::fillGrid() {
    const MessageTable& m = app_.messages();
    const auto& languages = app_.runState().languages;
    RxDrawGrid1->setRowCount(int(languages.size()) + 1);
    RxDrawGrid1->setItem(0, 0, new QTableWidgetItem(m.text(62)));
    RxDrawGrid1->setItem(0, 1, new QTableWidgetItem(m.text(63)));
    for (int r = 0; r < int(languages.size()); ++r) {
        const LanguageEntry& e = languages[std::size_t(r)];
        auto* name = new QTableWidgetItem(cp1251::toUnicode(e.displayName));
        if (const QImage flag = decodeFlag(e.flagHex); !flag.isNull())
            name->setIcon(QIcon(QPixmap::fromImage(flag)));
        RxDrawGrid1->setItem(r + 1, 0, name);
        RxDrawGrid1->setItem(r + 1, 1, new QTableWidgetItem(cp1251::toUnicode(e.translator)));
    }
    RxDrawGrid1->resizeColumnToContents(0);
}

QString TAbout::languageDetails(int row) const {
    const RunState& rs = app_.runState();
    if (row < 1 || row > int(rs.languages.size()))
        return {};
    const LanguageEntry& e = rs.languages[std::size_t(row - 1)];
    const QString path = rs.languageFolderMissing
                             ? rs.tempFolder + QLatin1String(kBuiltinLanguageFile)
                             : rs.programFolder + QStringLiteral("/Language/") + e.fileName;
    const IniDocument doc = IniFile(path).load();
    std::vector<std::string> values;
    for (const char* key :
         {"Name", "Version", "Date", "Translated by", "Email", "Translation based on", "Info"})
        values.push_back(doc.readString("Info", key, ""));
    return cp1251::toUnicode(formatMessage(app_.messages().msg(6), values));
}

void TAbout::showDetails(int row) {
    const QString text = languageDetails(row);
    if (!text.isEmpty())
        Dialogs::information(this, text);
}

void TAbout::mouseDoubleClickEvent(QMouseEvent*) {
    close();
}

bool TAbout::eventFilter(QObject* watched, QEvent* event) {
    if ((watched == Label2 || watched == Label3) && event->type() == QEvent::MouseButtonDblClick) {
        close();
        return true;
    }
    if (watched == RxDrawGrid1 && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            showDetails(RxDrawGrid1->currentRow());
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace kvz
