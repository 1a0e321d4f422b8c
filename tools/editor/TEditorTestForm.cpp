// The editor's test form: the catalogue, times and switches, the introduction and reference
// pages and the marks scale.

#include "EditorForm.h"
#include "PageSources.h"
#include "TEditor.h"
#include "platform/Dialogs.h"
#include "test/MarkScale.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QTableWidget>
#include <QTimeEdit>
#include <QVBoxLayout>
#include <algorithm>

namespace kvz::editor {

namespace {

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
    auto issue = [&](TestField field) { return makeIssueLabel(field, page); };
    auto line = [&](QLineEdit*& e, const char* name, const QString& label, TestField field,
                    auto apply) {
        e = new QLineEdit(page);
        e->setObjectName(QLatin1String(name));
        formRow(form, name, label, e, issue(field));
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
    formRow(form, "Topics", QStringLiteral("Темы (по одной в строке):"), Topics,
            issue(TestField::Topics));
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
    time(TestTime, "TestTime", [this](DateTime v) { test_.archive.settings.testTime = v; });
    auto* testRow = new QHBoxLayout;
    testRow->addWidget(TestTime);
    testRow->addWidget(check(TestTimer, "TestTimer", QStringLiteral("ограничить время теста"),
                             [this](bool on) { test_.archive.settings.testTimerOn = on; }));
    formRow(form, "TestTime", QStringLiteral("Время на тест:"), testRow,
            issue(TestField::TestTime));
    time(QuestionTime, "QuestionTime",
         [this](DateTime v) { test_.archive.settings.questionTime = v; });
    auto* questionRow = new QHBoxLayout;
    questionRow->addWidget(QuestionTime);
    questionRow->addWidget(check(QuestionTimer, "QuestionTimer",
                                 QStringLiteral("ограничить время вопроса"),
                                 [this](bool on) { test_.archive.settings.questionTimerOn = on; }));
    formRow(form, "QuestionTime", QStringLiteral("Время на вопрос:"), questionRow,
            issue(TestField::QuestionTime));
    form->addRow(QString(), check(TimeByDifficulty, "TimeByDifficulty",
                                  QStringLiteral("делить время теста по сложности вопросов"),
                                  [this](bool on) { test_.archive.timeByDifficulty = on; }));

    Order = new QComboBox(page);
    Order->setObjectName(QStringLiteral("Order"));
    Order->addItems({QStringLiteral("произвольный (вперёд и назад)"),
                     QStringLiteral("строгий (только вперёд)"),
                     QStringLiteral("как настроена программа")});
    formRow(form, "Order", QStringLiteral("Порядок вопросов:"), Order);
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
        const std::optional<QString> html = prompts.typedPage(
            this, typedTextOf(introduction ? test_.archive.introduction : test_.archive.reference));
        if (!html)
            return;
        made = pageFromText(*html, TypedPage::Reading);
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

} // namespace kvz::editor
