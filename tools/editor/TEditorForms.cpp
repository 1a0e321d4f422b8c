// The editor's two forms: the test's settings and the question with its page and answer.

#include "PageSources.h"
#include "TEditor.h"
#include "l10n/Cp1251.h"
#include "platform/Dialogs.h"
#include "platform/docview/DocumentView.h"
#include "test/MarkScale.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTableWidget>
#include <QTextDocument>
#include <QTimeEdit>
#include <QVBoxLayout>
#include <algorithm>

namespace kvz::editor {

namespace {

std::string cp(const QString& text) {
    return cp1251::fromUnicode(text);
}
QString un(const std::string& text) {
    return cp1251::toUnicode(text);
}

QTime timeOf(const std::optional<DateTime>& t) {
    const int ms = t ? timeOfDayMs(*t) : 0;
    return QTime::fromMSecsSinceStartOfDay(ms);
}

// The value kvizor-pack would store for the same time text.
DateTime dateTimeOf(QTime t) {
    return parseTimeText(t.toString(QStringLiteral("HH:mm:ss")).toStdString()).value_or(0);
}

QString percentText(int hundredths) {
    QString text = QString::number(hundredths / 100);
    if (hundredths % 100)
        text += QStringLiteral(".%1").arg(hundredths % 100, 2, 10, QLatin1Char('0'));
    return text;
}

} // namespace

QWidget* TEditor::buildTestTab() {
    auto* scroll = new QScrollArea;
    scroll->setWidgetResizable(true);
    auto* page = new QWidget;
    auto* form = new QFormLayout(page);
    auto issue = [&](TestField field) {
        auto* l = new QLabel(page);
        l->setObjectName(QStringLiteral("Issue%1").arg(int(field)));
        l->setStyleSheet(QStringLiteral("color: #c00000;"));
        l->setWordWrap(true);
        l->hide();
        issueLabels_.push_back({field, l});
        return l;
    };
    auto line = [&](QLineEdit*& e, const char* name, const QString& label, TestField field,
                    auto apply) {
        e = new QLineEdit(page);
        e->setObjectName(QLatin1String(name));
        auto* caption = new QLabel(label, page);
        caption->setObjectName(QLatin1String(name) + QStringLiteral("Label"));
        form->addRow(caption, e);
        form->addRow(QString(), issue(field));
        connect(e, &QLineEdit::textEdited, this, [this, apply](const QString& text) {
            apply(cp(text));
            changed();
        });
    };
    line(Comment, "Comment", QStringLiteral("Название (комментарий):"), TestField::Comment,
         [this](std::string v) { test_.catalogue.comment = std::move(v); });
    line(Klass, "Klass", QStringLiteral("Класс:"), TestField::Klass,
         [this](std::string v) { test_.catalogue.klass = std::move(v); });
    line(Subject, "Subject", QStringLiteral("Предмет:"), TestField::Subject,
         [this](std::string v) { test_.catalogue.subject = std::move(v); });
    Topics = new QPlainTextEdit(page);
    Topics->setObjectName(QStringLiteral("Topics"));
    Topics->setMaximumHeight(70);
    auto* topicsLabel = new QLabel(QStringLiteral("Темы (по одной в строке):"), page);
    topicsLabel->setObjectName(QStringLiteral("TopicsLabel"));
    form->addRow(topicsLabel, Topics);
    form->addRow(QString(), issue(TestField::Topics));
    connect(Topics, &QPlainTextEdit::textChanged, this, [this] {
        if (filling_)
            return;
        QStringList lines = Topics->toPlainText().split(QLatin1Char('\n'));
        while (!lines.isEmpty() && lines.back().isEmpty())
            lines.removeLast();
        test_.catalogue.topics = cp(lines.join(QStringLiteral("\r\n")));
        changed();
    });
    line(Password, "Password", QStringLiteral("Пароль теста:"), TestField::Password,
         [this](std::string v) { test_.password = std::move(v); });
    Password->setMaxLength(17);

    auto check = [&](QCheckBox*& c, const char* name, const QString& text, auto apply) {
        c = new QCheckBox(text, page);
        c->setObjectName(QLatin1String(name));
        connect(c, &QCheckBox::toggled, this, [this, apply](bool on) {
            if (filling_)
                return;
            apply(on);
            changed();
            if (current_ >= 0)
                TimeShown->setText(
                    QString::fromStdString(formatTimeText(test_.budgetMs(current_) / 86400000.0)));
        });
        return c;
    };
    auto time = [&](QTimeEdit*& t, const char* name, auto apply) {
        t = new QTimeEdit(page);
        t->setObjectName(QLatin1String(name));
        t->setDisplayFormat(QStringLiteral("HH:mm:ss"));
        connect(t, &QTimeEdit::timeChanged, this, [this, apply](QTime v) {
            if (filling_)
                return;
            apply(dateTimeOf(v));
            changed();
        });
    };
    ArchiveSettings& s = test_.archive.settings;
    (void)s;
    time(TestTime, "TestTime", [this](DateTime v) { test_.archive.settings.testTime = v; });
    auto* testRow = new QHBoxLayout;
    testRow->addWidget(TestTime);
    testRow->addWidget(check(TestTimer, "TestTimer", QStringLiteral("ограничить время теста"),
                             [this](bool on) { test_.archive.settings.testTimerOn = on; }));
    auto* testTimeLabel = new QLabel(QStringLiteral("Время на тест:"), page);
    testTimeLabel->setObjectName(QStringLiteral("TestTimeLabel"));
    form->addRow(testTimeLabel, testRow);
    form->addRow(QString(), issue(TestField::TestTime));
    time(QuestionTime, "QuestionTime",
         [this](DateTime v) { test_.archive.settings.questionTime = v; });
    auto* questionRow = new QHBoxLayout;
    questionRow->addWidget(QuestionTime);
    questionRow->addWidget(check(QuestionTimer, "QuestionTimer",
                                 QStringLiteral("ограничить время вопроса"),
                                 [this](bool on) { test_.archive.settings.questionTimerOn = on; }));
    auto* questionTimeLabel = new QLabel(QStringLiteral("Время на вопрос:"), page);
    questionTimeLabel->setObjectName(QStringLiteral("QuestionTimeLabel"));
    form->addRow(questionTimeLabel, questionRow);
    form->addRow(QString(), issue(TestField::QuestionTime));
    form->addRow(QString(), check(TimeByDifficulty, "TimeByDifficulty",
                                  QStringLiteral("делить время теста по сложности вопросов"),
                                  [this](bool on) { test_.archive.timeByDifficulty = on; }));

    Order = new QComboBox(page);
    Order->setObjectName(QStringLiteral("Order"));
    Order->addItems({QStringLiteral("произвольный (вперёд и назад)"),
                     QStringLiteral("строгий (только вперёд)"),
                     QStringLiteral("как настроена программа")});
    auto* orderLabel = new QLabel(QStringLiteral("Порядок вопросов:"), page);
    orderLabel->setObjectName(QStringLiteral("OrderLabel"));
    form->addRow(orderLabel, Order);
    connect(Order, &QComboBox::currentIndexChanged, this, [this](int i) {
        if (filling_)
            return;
        test_.archive.settings.fixedOrder =
            i == 2 ? std::optional<bool>() : std::optional<bool>(i == 1);
        changed();
    });
    form->addRow(QString(),
                 check(Lockdown, "Lockdown", QStringLiteral("блокировать компьютер во время теста"),
                       [this](bool on) { test_.archive.settings.lockdownOff = !on; }));
    form->addRow(QString(),
                 check(Calculator, "Calculator", QStringLiteral("калькулятор"),
                       [this](bool on) { test_.archive.settings.calculatorAllowed = on; }));
    form->addRow(QString(),
                 check(AnswerReview, "AnswerReview", QStringLiteral("просмотр ответов после теста"),
                       [this](bool on) { test_.settings139().answerReviewAllowed = on; }));
    form->addRow(QString(), check(TextbookDuringTest, "TextbookDuringTest",
                                  QStringLiteral("учебник во время теста"), [this](bool on) {
                                      test_.settings139().textbookDuringTest = on;
                                  }));
    form->addRow(QString(), check(TextbookInReview, "TextbookInReview",
                                  QStringLiteral("учебник при просмотре ответов"),
                                  [this](bool on) { test_.settings139().textbookInReview = on; }));

    // The introduction and the reference page.
    auto special = [&](bool intro, QCheckBox*& flag, const char* flagName, const QString& flagText,
                       QPushButton*& picture, const char* pictureName, QPushButton*& typed,
                       const char* typedName, QLabel*& state, const char* stateName,
                       TestField field) {
        auto* row = new QHBoxLayout;
        row->addWidget(check(flag, flagName, flagText, [this, intro](bool on) {
            if (intro)
                test_.settings139().showIntroduction = on;
            else
                test_.settings139().referenceAllowed = on;
        }));
        picture = new QPushButton(QStringLiteral("Картинка или PDF..."), page);
        picture->setObjectName(QLatin1String(pictureName));
        typed = new QPushButton(QStringLiteral("Текст..."), page);
        typed->setObjectName(QLatin1String(typedName));
        state = new QLabel(page);
        state->setObjectName(QLatin1String(stateName));
        row->addWidget(picture);
        row->addWidget(typed);
        row->addWidget(state, 1);
        connect(picture, &QPushButton::clicked, this,
                [this, intro] { setSpecialPage(intro, false); });
        connect(typed, &QPushButton::clicked, this, [this, intro] { setSpecialPage(intro, true); });
        form->addRow(QString(), row);
        form->addRow(QString(), issue(field));
    };
    special(true, ShowIntroduction, "ShowIntroduction", QStringLiteral("показывать введение"),
            IntroPicture, "IntroPicture", IntroText, "IntroText", IntroState, "IntroState",
            TestField::Introduction);
    special(false, ReferenceAllowed, "ReferenceAllowed", QStringLiteral("справочная страница (F1)"),
            ReferencePicture, "ReferencePicture", ReferenceText, "ReferenceText", ReferenceState,
            "ReferenceState", TestField::Reference);

    // The marks scale, as the teacher says it: from 85 % the mark is 5.
    auto* marksBox = new QGroupBox(QStringLiteral("Шкала оценок"), page);
    marksBox->setObjectName(QStringLiteral("MarksBox"));
    auto* mv = new QVBoxLayout(marksBox);
    mv->addWidget(check(ShowMark, "ShowMark", QStringLiteral("показывать оценку"),
                        [this](bool on) { test_.settings139().showMark = on; }));
    Marks = new QTableWidget(0, 2, marksBox);
    Marks->setObjectName(QStringLiteral("Marks"));
    Marks->setHorizontalHeaderLabels({QStringLiteral("от, %"), QStringLiteral("→ оценка")});
    Marks->horizontalHeader()->setStretchLastSection(true);
    Marks->verticalHeader()->hide();
    Marks->setMinimumHeight(150);
    mv->addWidget(Marks);
    MarksSummary = new QLabel(marksBox);
    MarksSummary->setObjectName(QStringLiteral("MarksSummary"));
    MarksSummary->setWordWrap(true);
    mv->addWidget(MarksSummary);
    connect(Marks, &QTableWidget::itemChanged, this, [this] {
        if (!filling_)
            readMarks();
    });
    auto* markButtons = new QHBoxLayout;
    AddMark = new QPushButton(QStringLiteral("Добавить оценку"), marksBox);
    AddMark->setObjectName(QStringLiteral("AddMark"));
    DeleteMark = new QPushButton(QStringLiteral("Удалить оценку"), marksBox);
    DeleteMark->setObjectName(QStringLiteral("DeleteMark"));
    markButtons->addWidget(AddMark);
    markButtons->addWidget(DeleteMark);
    markButtons->addStretch();
    mv->addLayout(markButtons);
    mv->addWidget(issue(TestField::Marks));
    connect(AddMark, &QPushButton::clicked, this, [this] {
        filling_ = true;
        const int row = Marks->rowCount();
        Marks->insertRow(row);
        Marks->setItem(row, 0, new QTableWidgetItem(row == 0 ? QStringLiteral("0") : QString()));
        Marks->setItem(row, 1, new QTableWidgetItem());
        filling_ = false;
        readMarks();
        Marks->setCurrentCell(row, 0);
    });
    connect(DeleteMark, &QPushButton::clicked, this, [this] {
        if (Marks->currentRow() >= 0) {
            Marks->removeRow(Marks->currentRow());
            readMarks();
        }
    });
    form->addRow(marksBox);
    form->addRow(QString(), issue(TestField::Questions));
    scroll->setWidget(page);
    return scroll;
}

void TEditor::readMarks() {
    std::vector<MarkBand> bands;
    for (int r = 0; r < Marks->rowCount(); ++r) {
        QString from = Marks->item(r, 0) ? Marks->item(r, 0)->text() : QString();
        from.remove(QLatin1Char('%'));
        from.replace(QLatin1Char(','), QLatin1Char('.'));
        const std::optional<int> h = pack::parsePercent(from.trimmed().toStdString());
        bands.push_back(
            {h.value_or(-1), cp(Marks->item(r, 1) ? Marks->item(r, 1)->text() : QString())});
    }
    test_.setBands(std::move(bands));
    showMarksSummary();
    changed();
}

// The scale as the pupil's score meets it, from the lowest mark up: "0 % → 2   50 % → 3".
void TEditor::showMarksSummary() {
    std::vector<MarkBand> bands = test_.bands();
    std::stable_sort(bands.begin(), bands.end(), [](const MarkBand& a, const MarkBand& b) {
        return a.fromHundredths < b.fromHundredths;
    });
    QStringList parts;
    for (const MarkBand& b : bands)
        parts << (b.fromHundredths < 0 ? QStringLiteral("?") : percentText(b.fromHundredths)) +
                     QStringLiteral(" % → ") + un(b.markText);
    MarksSummary->setText(parts.join(QStringLiteral("    ")));
}

void TEditor::showTest() {
    filling_ = true;
    const ArchiveSettings& s = test_.archive.settings;
    const ArchiveSettings139 x = test_.archive.settings139.value_or(ArchiveSettings139{});
    Comment->setText(un(test_.catalogue.comment));
    Klass->setText(un(test_.catalogue.klass));
    Subject->setText(un(test_.catalogue.subject));
    QString topics = un(test_.catalogue.topics);
    topics.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    Topics->setPlainText(topics);
    Password->setText(un(test_.password));
    TestTime->setTime(timeOf(s.testTime));
    TestTimer->setChecked(s.testTimerOn);
    QuestionTime->setTime(timeOf(s.questionTime));
    QuestionTimer->setChecked(s.questionTimerOn);
    TimeByDifficulty->setChecked(test_.archive.timeByDifficulty);
    Order->setCurrentIndex(!s.fixedOrder ? 2 : *s.fixedOrder ? 1 : 0);
    Lockdown->setChecked(!s.lockdownOff);
    Calculator->setChecked(s.calculatorAllowed);
    AnswerReview->setChecked(x.answerReviewAllowed);
    TextbookDuringTest->setChecked(x.textbookDuringTest);
    TextbookInReview->setChecked(x.textbookInReview);
    ShowIntroduction->setChecked(x.showIntroduction);
    ReferenceAllowed->setChecked(x.referenceAllowed);
    ShowMark->setChecked(x.showMark);
    const QString has = msg("HasPage", QStringLiteral("страница есть"));
    const QString none = msg("NoPage", QStringLiteral("страницы нет"));
    IntroState->setText(test_.archive.introduction.isEmpty() ? none : has);
    ReferenceState->setText(test_.archive.reference.isEmpty() ? none : has);
    const std::vector<MarkBand> bands = test_.bands();
    Marks->setRowCount(int(bands.size()));
    for (int r = 0; r < int(bands.size()); ++r) {
        const MarkBand& b = bands[std::size_t(r)];
        Marks->setItem(
            r, 0,
            new QTableWidgetItem(b.fromHundredths < 0 ? QString() : percentText(b.fromHundredths)));
        Marks->setItem(r, 1, new QTableWidgetItem(un(b.markText)));
    }
    showMarksSummary();
    filling_ = false;
}

void TEditor::setSpecialPage(bool introduction, bool typed) {
    docview::PieceResult made;
    if (typed) {
        const std::optional<QString> html = prompts.typedPage(this, QString());
        if (!html)
            return;
        QTextDocument doc;
        doc.setHtml(*html);
        made = pageFromText(doc);
    } else {
        const QString path = prompts.openFile(
            this, msg("PageTitle", QStringLiteral("Страница")),
            msg("PageFilter",
                QStringLiteral("Страницы (*.png *.jpg *.jpeg *.bmp *.emf *.wmf *.pdf)")));
        if (path.isEmpty())
            return;
        if (path.endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive)) {
            int count = 0;
            pageFromPdf(path, -1, &count);
            const std::optional<int> page =
                count > 1
                    ? prompts.pdfPage(this, msg("PdfPage", QStringLiteral("Страница PDF:")), count)
                    : std::optional<int>(0);
            if (!page)
                return;
            made = pageFromPdf(path, *page);
        } else {
            made = pageFromPictureFile(path);
        }
    }
    if (!made.ok()) {
        Dialogs::error(this, made.error);
        return;
    }
    (introduction ? test_.archive.introduction : test_.archive.reference) = made.piece;
    if (introduction)
        test_.settings139().showIntroduction = true;
    else
        test_.settings139().referenceAllowed = true;
    showTest();
    changed();
}

QWidget* TEditor::buildQuestionTab() {
    auto* page = new QWidget;
    auto* v = new QVBoxLayout(page);
    auto issue = [&](TestField field, QWidget* parent) {
        auto* l = new QLabel(parent);
        l->setObjectName(QStringLiteral("Issue%1").arg(int(field)));
        l->setStyleSheet(QStringLiteral("color: #c00000;"));
        l->setWordWrap(true);
        l->hide();
        issueLabels_.push_back({field, l});
        return l;
    };
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
    auto button = [&](QPushButton*& b, const char* name, const QString& text) {
        b = new QPushButton(text, page);
        b->setObjectName(QLatin1String(name));
        pageButtons->addWidget(b);
    };
    button(PagePicture, "PagePicture", QStringLiteral("Страница из картинки..."));
    button(PagePdf, "PagePdf", QStringLiteral("Страница из PDF..."));
    button(PageText, "PageText", QStringLiteral("Набрать текст..."));
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
        if (const std::optional<QString> html = prompts.typedPage(this, QString()))
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

    AnswerStack = new QStackedWidget(page);
    AnswerStack->setObjectName(QStringLiteral("AnswerStack"));
    AnswerStack->setMinimumWidth(300);
    // A: choices.
    auto* a = new QGroupBox(QStringLiteral("Ответ: выбор"), AnswerStack);
    a->setObjectName(QStringLiteral("ChoiceBox"));
    auto* av = new QVBoxLayout(a);
    auto* countRow = new QHBoxLayout;
    ChoiceCount = new QSpinBox(a);
    ChoiceCount->setObjectName(QStringLiteral("ChoiceCount"));
    ChoiceCount->setRange(1, kMaxChoices);
    auto* countLabel = new QLabel(QStringLiteral("Вариантов:"), a);
    countLabel->setObjectName(QStringLiteral("ChoiceCountLabel"));
    countRow->addWidget(countLabel);
    countRow->addWidget(ChoiceCount);
    countRow->addStretch();
    av->addLayout(countRow);
    for (int i = 0; i < kMaxChoices; ++i) {
        auto* c = new QCheckBox(QStringLiteral("%1 — верный").arg(i + 1), a);
        c->setObjectName(QStringLiteral("RightChoice%1").arg(i + 1));
        RightChoice[std::size_t(i)] = c;
        av->addWidget(c);
        connect(c, &QCheckBox::toggled, this, [this, i](bool on) {
            if (filling_)
                return;
            if (TQuestionRec* q = question()) {
                q->rightChoice[std::size_t(i)] = on;
                changed();
            }
        });
    }
    Multiple = new QCheckBox(QStringLiteral("несколько верных (флажки)"), a);
    Multiple->setObjectName(QStringLiteral("Multiple"));
    av->addWidget(Multiple);
    av->addWidget(issue(TestField::Choices, a));
    av->addWidget(issue(TestField::RightChoice, a));
    av->addStretch();
    connect(ChoiceCount, &QSpinBox::valueChanged, this, [this](int n) {
        if (filling_ || current_ < 0)
            return;
        test_.setChoiceCount(current_, n);
        showQuestion();
        changed();
    });
    connect(Multiple, &QCheckBox::toggled, this, [this](bool on) {
        if (filling_)
            return;
        if (TQuestionRec* q = question()) {
            q->multiChoice = on;
            changed();
        }
    });
    AnswerStack->addWidget(a);

    // B: typed text.
    auto* b = new QGroupBox(QStringLiteral("Ответ: ввод текста"), AnswerStack);
    b->setObjectName(QStringLiteral("AnswerBox"));
    auto* bv = new QVBoxLayout(b);
    Answer = new QLineEdit(b);
    Answer->setObjectName(QStringLiteral("Answer"));
    Answer->setMaxLength(255);
    AnswerNote = new QLabel(QStringLiteral("Всё, что вводит ученик, приходит строчными буквами: "
                                           "верный ответ хранится строчными и сравнивается "
                                           "точно, знак в знак."),
                            b);
    AnswerNote->setObjectName(QStringLiteral("AnswerNote"));
    AnswerNote->setWordWrap(true);
    bv->addWidget(Answer);
    bv->addWidget(AnswerNote);
    bv->addWidget(issue(TestField::Answer, b));
    bv->addStretch();
    connect(Answer, &QLineEdit::textEdited, this, [this](const QString& t) {
        TQuestionRec* q = question();
        if (!q)
            return;
        // Stored as the pupil's keys would give it.
        q->rightText = cp1251::ansiLower(cp(t));
        const QString shown = un(q->rightText);
        if (shown != t) {
            const int at = Answer->cursorPosition();
            Answer->setText(shown);
            Answer->setCursorPosition(at);
        }
        changed();
    });
    AnswerStack->addWidget(b);

    // D: slots on the page and the right order.
    auto* d = new QGroupBox(QStringLiteral("Ответ: порядок"), AnswerStack);
    d->setObjectName(QStringLiteral("SlotBox"));
    auto* dv = new QVBoxLayout(d);
    auto* slotRow = new QHBoxLayout;
    SlotCount = new QSpinBox(d);
    SlotCount->setObjectName(QStringLiteral("SlotCount"));
    SlotCount->setRange(1, kMaxSlots);
    auto* slotLabel = new QLabel(QStringLiteral("Мест:"), d);
    slotLabel->setObjectName(QStringLiteral("SlotCountLabel"));
    slotRow->addWidget(slotLabel);
    slotRow->addWidget(SlotCount);
    slotRow->addStretch();
    dv->addLayout(slotRow);
    Slots = new QTableWidget(0, 2, d);
    Slots->setObjectName(QStringLiteral("Slots"));
    Slots->setHorizontalHeaderLabels({QStringLiteral("место"), QStringLiteral("верный номер")});
    Slots->horizontalHeader()->setStretchLastSection(true);
    Slots->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    Slots->setSelectionBehavior(QAbstractItemView::SelectRows);
    Slots->setSelectionMode(QAbstractItemView::SingleSelection);
    Slots->setEditTriggers(QAbstractItemView::NoEditTriggers);
    dv->addWidget(Slots);
    SlotHint = new QLabel(QStringLiteral("Выберите место в списке и щёлкните по странице там, "
                                         "где ученик увидит номер."),
                          d);
    SlotHint->setObjectName(QStringLiteral("SlotHint"));
    SlotHint->setWordWrap(true);
    dv->addWidget(SlotHint);
    dv->addWidget(issue(TestField::Slots, d));
    dv->addWidget(issue(TestField::SlotOrder, d));
    connect(SlotCount, &QSpinBox::valueChanged, this, [this](int n) {
        if (filling_ || current_ < 0)
            return;
        test_.setChoiceCount(current_, n);
        currentSlot_ = std::min(currentSlot_, n - 1);
        showSlots();
        changed();
    });
    connect(Slots, &QTableWidget::currentCellChanged, this, [this](int row) {
        if (!filling_ && row >= 0)
            SelectSlot(row);
    });
    AnswerStack->addWidget(d);
    middle->addWidget(AnswerStack, 1);
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

void TEditor::showSlots() {
    const TQuestionRec* q = question();
    if (!q || q->kind() != 'D') {
        Page->update();
        return;
    }
    filling_ = true;
    const int n = q->choiceCount;
    SlotCount->setValue(std::max(n, 1));
    Slots->setRowCount(n);
    for (int i = 0; i < n; ++i) {
        const TSlotRec& s = q->rightSlots[std::size_t(i)];
        auto* place =
            new QTableWidgetItem(msg("SlotPlace", QStringLiteral("%1: колонка %2, ряд %3"))
                                     .arg(i + 1)
                                     .arg(s.col)
                                     .arg(s.row));
        Slots->setItem(i, 0, place);
        auto* number = new QSpinBox;
        number->setObjectName(QStringLiteral("SlotNumber%1").arg(i + 1));
        number->setRange(1, n);
        number->setValue(std::clamp<int>(s.number, 1, n));
        connect(number, &QSpinBox::valueChanged, this, [this, i](int v) {
            if (filling_)
                return;
            if (TQuestionRec* rec = question()) {
                rec->rightSlots[std::size_t(i)].number = std::uint8_t(v);
                changed();
                Page->update();
            }
        });
        Slots->setCellWidget(i, 1, number);
    }
    Slots->setCurrentCell(std::min(currentSlot_, n - 1), 0);
    filling_ = false;
    Page->update();
}

void TEditor::SelectSlot(int slot) {
    const TQuestionRec* q = question();
    if (!q || q->kind() != 'D' || slot < 0 || slot >= q->choiceCount)
        return;
    currentSlot_ = slot;
    filling_ = true;
    Slots->setCurrentCell(slot, 0);
    filling_ = false;
    Page->update();
}

void TEditor::PageClicked(QPoint pos) {
    TQuestionRec* q = question();
    if (!q || q->kind() != 'D' || currentSlot_ < 0 || currentSlot_ >= q->choiceCount)
        return;
    const std::optional<GridCell> cell = board_.cellAt(pos.x(), pos.y());
    if (!cell)
        return;
    TSlotRec& s = q->rightSlots[std::size_t(currentSlot_)];
    s.col = std::uint8_t(cell->col);
    s.row = std::uint8_t(cell->row);
    // The next slot is placed by the next click.
    const int next = currentSlot_ + 1 < q->choiceCount ? currentSlot_ + 1 : currentSlot_;
    changed();
    currentSlot_ = next;
    showSlots();
}

void TEditor::paintSlots(QPainter& p) {
    const TQuestionRec* q = question();
    if (!q || q->kind() != 'D' || board_.cellWidth() == 0 || board_.cellHeight() == 0)
        return;
    p.save();
    p.setClipRect(board_.page());
    // The run's grid, faint, so the teacher sees where a number can go.
    p.setPen(QColor(120, 160, 255, 90));
    for (int col = 0; col <= kLastColumnOnPage; ++col)
        for (int row = 0; row <= kLastRowOnPage; ++row)
            p.drawRect(board_.cellRect({col, row}).adjusted(0, 0, -1, -1));
    QFont font = p.font();
    for (int i = 0; i < q->choiceCount && i < kMaxSlots; ++i) {
        const TSlotRec& s = q->rightSlots[std::size_t(i)];
        const QRect cell = board_.cellRect({s.col, s.row});
        const bool current = i == currentSlot_;
        p.setPen(QPen(current ? QColor(220, 0, 0) : QColor(0, 90, 200), current ? 3 : 2));
        p.setBrush(QColor(255, 255, 255, 200));
        p.drawEllipse(cell.adjusted(2, 2, -2, -2));
        font.setPixelSize(std::max(8, cell.height() / 2));
        font.setBold(true);
        p.setFont(font);
        p.drawText(cell, Qt::AlignCenter, QString::number(s.number));
        font.setPixelSize(std::max(7, cell.height() / 4));
        font.setBold(false);
        p.setFont(font);
        p.drawText(cell.adjusted(1, 0, 0, 0), Qt::AlignLeft | Qt::AlignTop,
                   QStringLiteral("%1").arg(i + 1));
    }
    p.restore();
}

bool TEditor::PageFromPicture(const QString& path) {
    const docview::PieceResult r = pageFromPictureFile(path);
    if (!r.ok()) {
        Dialogs::error(this, r.error);
        return false;
    }
    if (TQuestionRec* q = question()) {
        q->body = r.piece;
        q->bodyStore.clear();
        showQuestion();
        changed();
    }
    return true;
}

bool TEditor::PageFromPdf(const QString& path, int page) {
    const docview::PieceResult r = pageFromPdf(path, page);
    if (!r.ok()) {
        Dialogs::error(this, r.error);
        return false;
    }
    if (TQuestionRec* q = question()) {
        q->body = r.piece;
        q->bodyStore.clear();
        showQuestion();
        changed();
    }
    return true;
}

bool TEditor::PageFromText(const QString& html) {
    QTextDocument doc;
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPointSizeF(12);
    doc.setDefaultFont(font);
    doc.setHtml(html);
    const docview::PieceResult r = pageFromText(doc);
    if (!r.ok()) {
        Dialogs::error(this, r.error);
        return false;
    }
    if (TQuestionRec* q = question()) {
        q->body = r.piece;
        q->bodyStore.clear();
        showQuestion();
        changed();
    }
    return true;
}

} // namespace kvz::editor
