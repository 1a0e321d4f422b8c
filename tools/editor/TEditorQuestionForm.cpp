// The editor's question form: the question's kind, topic, difficulty and textbook link, and
// its page made from a picture, a PDF page or typed text.

#include "EditorForm.h"
#include "PageSources.h"
#include "TEditor.h"
#include "platform/Dialogs.h"
#include "platform/docview/DocumentView.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace kvz::editor {

QWidget* TEditor::buildQuestionTab() {
    auto* page = new QWidget;
    auto* v = new QVBoxLayout(page);
    auto issue = [&](TestField field, QWidget* parent) { return makeIssueLabel(field, parent); };
    auto caption = [&](const char* name, const QString& text) {
        auto* l = new QLabel(text, page);
        l->setObjectName(QLatin1String(name));
        return l;
    };

    auto* top = new QGridLayout;
    Kind = new QComboBox(page);
    Kind->setObjectName(QStringLiteral("Kind"));
    Kind->addItems({QStringLiteral("A — выбор ответа"), QStringLiteral("B — ввод ответа"),
                    QStringLiteral("D — порядок (номера на странице)")});
    Topic = new QLineEdit(page);
    Topic->setObjectName(QStringLiteral("Topic"));
    Difficulty = new QSpinBox(page);
    Difficulty->setObjectName(QStringLiteral("Difficulty"));
    Difficulty->setRange(0, 255);
    TimeShown = new QLabel(page);
    TimeShown->setObjectName(QStringLiteral("TimeShown"));
    Textbook = new QLineEdit(page);
    Textbook->setObjectName(QStringLiteral("Textbook"));
    Textbook->setPlaceholderText(QStringLiteral("[>]файл[|параметры]"));
    top->addWidget(caption("KindLabel", QStringLiteral("Вид:")), 0, 0);
    top->addWidget(Kind, 0, 1);
    top->addWidget(caption("TopicLabel", QStringLiteral("Тема:")), 0, 2);
    top->addWidget(Topic, 0, 3);
    top->addWidget(caption("DifficultyLabel", QStringLiteral("Сложность:")), 1, 0);
    top->addWidget(Difficulty, 1, 1);
    top->addWidget(caption("TimeLabel", QStringLiteral("Время на вопрос:")), 1, 2);
    top->addWidget(TimeShown, 1, 3);
    top->addWidget(caption("TextbookLabel", QStringLiteral("Учебник:")), 2, 0);
    top->addWidget(Textbook, 2, 1, 1, 3);
    top->setColumnStretch(3, 1);
    v->addLayout(top);
    for (TestField f :
         {TestField::Kind, TestField::Topic, TestField::Textbook, TestField::Difficulty})
        v->addWidget(issue(f, page));

    connect(Kind, &QComboBox::activated, this, [this](int i) {
        if (filling_ || current_ < 0)
            return;
        current_ = test_.setKind(current_, "ABD"[i]);
        showQuestionList();
        SelectQuestion(current_);
        changed();
    });
    connect(Topic, &QLineEdit::textEdited, this, [this](const QString& t) {
        if (TQuestionRec* q = question()) {
            q->topic = cp(t);
            changed();
            Questions->item(current_)->setText(
                QString::fromStdString(test_.labels()[std::size_t(current_)]) +
                (t.isEmpty() ? QString() : QStringLiteral("  ") + t));
        }
    });
    connect(Difficulty, &QSpinBox::valueChanged, this, [this](int d) {
        if (filling_)
            return;
        if (TQuestionRec* q = question()) {
            q->difficulty = std::uint8_t(d);
            changed();
            TimeShown->setText(
                QString::fromStdString(formatTimeText(test_.budgetMs(current_) / 86400000.0)));
        }
    });
    connect(Textbook, &QLineEdit::textEdited, this, [this](const QString& t) {
        if (TQuestionRec* q = question()) {
            q->textbook = cp(t);
            changed();
        }
    });

    auto* pageButtons = new QHBoxLayout;
    PagePicture =
        rowButton(page, pageButtons, "PagePicture", QStringLiteral("Страница из картинки..."));
    PagePdf = rowButton(page, pageButtons, "PagePdf", QStringLiteral("Страница из PDF..."));
    PageText = rowButton(page, pageButtons, "PageText", QStringLiteral("Набрать текст..."));
    pageButtons->addStretch();
    v->addLayout(pageButtons);
    connect(PagePicture, &QPushButton::clicked, this, [this] {
        const QString path = prompts.openFile(
            this, msg("PageTitle", QStringLiteral("Страница")),
            msg("PictureFilter",
                QStringLiteral("Картинки (*.png *.jpg *.jpeg *.bmp *.emf *.wmf)")));
        if (!path.isEmpty())
            PageFromPicture(path);
    });
    connect(PagePdf, &QPushButton::clicked, this, [this] {
        const QString path = prompts.openFile(this, msg("PageTitle", QStringLiteral("Страница")),
                                              msg("PdfFilter", QStringLiteral("PDF (*.pdf)")));
        if (path.isEmpty())
            return;
        int count = 0;
        pageFromPdf(path, -1, &count);
        if (count <= 0) {
            Dialogs::error(this, pageFromPdf(path, 0).error);
            return;
        }
        const std::optional<int> n =
            count > 1
                ? prompts.pdfPage(this, msg("PdfPage", QStringLiteral("Страница PDF:")), count)
                : std::optional<int>(0);
        if (n)
            PageFromPdf(path, *n);
    });
    connect(PageText, &QPushButton::clicked, this, [this] {
        const TQuestionRec* q = question();
        // A page typed before opens with its text, to be changed.
        if (const std::optional<QString> html =
                prompts.typedPage(this, q ? typedTextOf(q->body) : QString()))
            PageFromText(*html);
    });
    v->addWidget(issue(TestField::Page, page));

    // The page and the answer beside it.
    auto* middle = new QHBoxLayout;
    Page = new DocumentView(page);
    Page->setObjectName(QStringLiteral("Page"));
    Page->setMinimumSize(460, 330);
    Page->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    Page->setAutoFillBackground(true);
    QPalette pal = Page->palette();
    pal.setColor(QPalette::Window, QColor(0xe8, 0xe8, 0xe8));
    Page->setPalette(pal);
    connect(Page, &DocumentView::pageMoved, this, [this](QRect r) { board_.setPage(r); });
    connect(Page, &DocumentView::paintOver, this, [this](QPainter& p) { paintSlots(p); });
    connect(Page, &DocumentView::mousePressed, this, [this](Qt::MouseButton b, QPoint pos) {
        if (b == Qt::LeftButton)
            PageClicked(pos);
    });
    middle->addWidget(Page, 3);

    middle->addWidget(buildAnswerStack(page), 1);
    v->addLayout(middle, 1);
    return page;
}

void TEditor::showQuestion() {
    filling_ = true;
    const TQuestionRec* q = question();
    for (QWidget* w : std::initializer_list<QWidget*>{Kind, Topic, Difficulty, Textbook,
                                                      PagePicture, PagePdf, PageText, AnswerStack})
        w->setEnabled(q != nullptr);
    if (!q) {
        Page->clear();
        board_.setPage(Page->pageRect());
        filling_ = false;
        return;
    }
    const int kindIndex = q->kind() == 'B' ? 1 : q->kind() == 'D' ? 2 : 0;
    Kind->setCurrentIndex(kindIndex);
    Topic->setText(un(q->topic));
    Difficulty->setValue(q->difficulty);
    TimeShown->setText(
        QString::fromStdString(formatTimeText(test_.budgetMs(current_) / 86400000.0)));
    Textbook->setText(un(q->textbook));
    if (q->body.isEmpty())
        Page->clear();
    else
        Page->loadFromBytes(q->body);
    board_.setPage(Page->pageRect());
    AnswerStack->setCurrentIndex(kindIndex);
    if (q->kind() == 'A') {
        ChoiceCount->setValue(std::max<int>(q->choiceCount, 1));
        for (int i = 0; i < kMaxChoices; ++i) {
            RightChoice[std::size_t(i)]->setChecked(q->rightChoice[std::size_t(i)]);
            RightChoice[std::size_t(i)]->setVisible(i < q->choiceCount);
        }
        Multiple->setChecked(q->multiChoice);
    } else if (q->kind() == 'B') {
        Answer->setText(un(q->rightText));
    }
    filling_ = false;
    showSlots();
}

bool TEditor::setPage(const docview::PieceResult& made) {
    if (!made.ok()) {
        Dialogs::error(this, made.error);
        return false;
    }
    if (TQuestionRec* q = question()) {
        q->body = made.piece;
        q->bodyStore.clear();
        showQuestion();
        changed();
    }
    return true;
}

bool TEditor::PageFromPicture(const QString& path) {
    const docview::PieceResult r = pageFromPictureFile(path);
    return setPage(r);
}

bool TEditor::PageFromPdf(const QString& path, int page) {
    const docview::PieceResult r = pageFromPdf(path, page);
    return setPage(r);
}

bool TEditor::PageFromText(const QString& html) {
    const docview::PieceResult r = pageFromText(html, TypedPage::Question);
    return setPage(r);
}

} // namespace kvz::editor
