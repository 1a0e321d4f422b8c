#include "TPreview.h"

#include "choice/IntroductionPage.h"
#include "l10n/Cp1251.h"
#include "l10n/Language.h"
#include "platform/docview/DocumentView.h"
#include "results/ScorePie.h"
#include "run/Checking.h"
#include "run/TMessage1.h"
#include "run/TTopros.h"
#include "test/EditableTest.h"

#include <QCloseEvent>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace kvz::editor {

namespace {

constexpr int kPanelWidth = 560;

// "2 из 3 (66.67%)", as the program's results window writes it.
QString countLine(const MessageTable& m, int count, int total, const std::string& percent) {
    return cp1251::toUnicode(std::to_string(count) + m.msg(26) + std::to_string(total) + " (" +
                             percent + "%)");
}

QLabel* figure(QWidget* parent, QGridLayout* grid, const char* boxName, const QString& title,
               const char* valueName, int row, int column) {
    auto* box = new QGroupBox(title, parent);
    box->setObjectName(QLatin1String(boxName));
    auto* value = new QLabel(box);
    value->setObjectName(QLatin1String(valueName));
    QFont f = value->font();
    f.setBold(true);
    f.setPointSize(f.pointSize() + 3);
    value->setFont(f);
    value->setAlignment(Qt::AlignCenter);
    auto* l = new QVBoxLayout(box);
    l->addWidget(value);
    grid->addWidget(box, row, column);
    return value;
}

// The reference page on F1; the run window waits under it, as it waits under the program's
// help window.
class PreviewReference : public QWidget {
public:
    PreviewReference(TTopros& run, DocumentView*& page) : run_(run) {
        setObjectName(QStringLiteral("Helper"));
        setWindowTitle(QStringLiteral("Справочная информация"));
        auto* v = new QVBoxLayout(this);
        page = new DocumentView(this);
        page->setObjectName(QStringLiteral("OleContainer1"));
        v->addWidget(page, 1);
        auto* ok = new QPushButton(QStringLiteral("OK"), this);
        ok->setObjectName(QStringLiteral("Button1"));
        v->addWidget(ok, 0, Qt::AlignRight);
        connect(ok, &QPushButton::clicked, this, &QWidget::hide);
    }

protected:
    void hideEvent(QHideEvent* event) override {
        QWidget::hideEvent(event);
        run_.setEnabled(true);
    }

private:
    TTopros& run_;
};

} // namespace

PreviewResults::PreviewResults(RunContext& context, TTopros& run, std::function<void()> repeat)
    : context_(context), run_(run), repeat_(std::move(repeat)) {
    setObjectName(QStringLiteral("Resultats"));
    auto* outer = new QVBoxLayout(this);
    auto* panel = new QFrame(this);
    panel->setObjectName(QStringLiteral("Panel1"));
    panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    panel->setFixedWidth(kPanelWidth);
    outer->addStretch(1);
    outer->addWidget(panel, 0, Qt::AlignHCenter);
    outer->addStretch(1);

    auto* grid = new QGridLayout(panel);
    grid->setContentsMargins(16, 12, 16, 12);
    Label4 = new QLabel(panel);
    Label4->setObjectName(QStringLiteral("Label4"));
    QFont markFont = Label4->font();
    markFont.setBold(true);
    markFont.setPointSize(markFont.pointSize() + 6);
    Label4->setFont(markFont);
    Label4->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    grid->addWidget(Label4, 0, 0, 1, 2);
    Label3 = figure(panel, grid, "GroupBox1", QStringLiteral("Всего ответов:"), "Label3", 1, 0);
    Label2 =
        figure(panel, grid, "GroupBox2", QStringLiteral("Правильных ответов:"), "Label2", 1, 1);
    Label7 = figure(panel, grid, "GroupBox3", QStringLiteral("Баллов:"), "Label7", 2, 0);
    Image1 = new QLabel(panel);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setFixedSize(kPieWidth, kPieHeight);
    grid->addWidget(Image1, 2, 1, Qt::AlignCenter);
    PreviewNote = new QLabel(panel);
    PreviewNote->setObjectName(QStringLiteral("PreviewNote"));
    PreviewNote->setStyleSheet(QStringLiteral("color: #806000;"));
    PreviewNote->setWordWrap(true);
    grid->addWidget(PreviewNote, 3, 0, 1, 2);

    Button3 = new QPushButton(QStringLiteral("Посмотреть ответы"), panel);
    Button3->setObjectName(QStringLiteral("Button3"));
    Button1 = new QPushButton(QStringLiteral("Повторить"), panel);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button2 = new QPushButton(QStringLiteral("Выход"), panel);
    Button2->setObjectName(QStringLiteral("Button2"));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(Button3);
    buttons->addStretch(1);
    buttons->addWidget(Button1);
    buttons->addWidget(Button2);
    grid->addLayout(buttons, 4, 0, 1, 2);

    connect(Button3, &QPushButton::clicked, this, [this] { run_.EnterReview(); });
    connect(Button1, &QPushButton::clicked, this, [this] {
        hide();
        repeat_();
    });
    connect(Button2, &QPushButton::clicked, this, [this] { close(); });
}

void PreviewResults::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // Back from the review the figures stand as they were.
    if (!context_.runState().resultsShown)
        check();
}

void PreviewResults::closeEvent(QCloseEvent* event) {
    run_.hide();
    QWidget::closeEvent(event);
}

void PreviewResults::check() {
    RunState& rs = context_.runState();
    const MessageTable& m = context_.messages();
    rs.resultsShown = true;
    CheckAnswers(run_.questionSet, m.msg(22), m.msg(23), rs.verdicts, rs.checkSummary);
    CheckSummary& s = rs.checkSummary;
    Label2->setText(countLine(m, s.rightCount, s.questionCount, s.rightPercentText));
    Label3->setText(countLine(m, s.answeredCount, s.questionCount, s.answeredPercentText));
    Label7->setText(cp1251::toUnicode(s.scoreText));
    s.markIndex =
        rs.showMark ? ChooseMark(s.gainedWeight, s.totalWeight, rs.markScale, rs.markCount) : -1;
    if (s.markIndex >= 0 && s.markIndex < int(rs.markScale.size())) {
        QString caption = cp1251::toUnicode(rs.markScale[std::size_t(s.markIndex)].markText);
        caption.replace(QLatin1Char('|'), QLatin1Char('\n'));
        Label4->setText(caption);
        Label4->show();
    } else {
        Label4->clear();
        Label4->hide();
    }
    Button3->setEnabled(rs.answerReviewAllowed);
    if (QWidget* link = run_.PUchebnik1)
        link->setEnabled(rs.textbookInReview);
    QPixmap pie = QPixmap::fromImage(drawScorePie(s.score));
    pie.setMask(pie.createMaskFromColor(Qt::white));
    Image1->setPixmap(pie);
}

TPreview::TPreview(const EditorLanguage& language) : language_(language) {
    run_ = std::make_unique<TTopros>(*this);
    prompt_ = std::make_unique<TMessage1>(*run_);
    results_ = std::make_unique<PreviewResults>(*this, *run_, [this] { begin(); });
    reference_ = std::make_unique<PreviewReference>(*run_, referencePage_);
    // The program's introduction page, named as the window it belongs to there so the language
    // file relabels it the same. Nothing comes before it in a preview: no way back.
    intro_ = std::make_unique<IntroductionPage>();
    intro_->setObjectName(QStringLiteral("Inform"));
    intro_->Button3->hide();
    QObject::connect(intro_.get(), &IntroductionPage::start, intro_.get(), [this] {
        run_->StartRun();
        intro_->hide();
    });
}

TPreview::~TPreview() {
    close();
    // The windows that refer to the run window go first.
    intro_.reset();
    reference_.reset();
    results_.reset();
    prompt_.reset();
    run_.reset();
}

void TPreview::close() {
    for (QWidget* w : {static_cast<QWidget*>(intro_.get()), static_cast<QWidget*>(reference_.get()),
                       static_cast<QWidget*>(results_.get()), static_cast<QWidget*>(prompt_.get()),
                       static_cast<QWidget*>(run_.get())})
        if (w && w->isVisible())
            w->close();
}

bool TPreview::isVisible() const {
    return intro_->isVisible() || run_->isVisible() || results_->isVisible();
}

void TPreview::begin() {
    if (!state_.showIntroduction) {
        run_->StartRun();
        return;
    }
    intro_->setGeometry(screen_);
    intro_->fitTo(screen_.size());
    intro_->show();
}

void TPreview::showTest(const EditableTest& test, QSize screen) {
    close();
    const QScreen* primary = QGuiApplication::primaryScreen();
    // Centred on the teacher's screen where it fits, so its frame stays in sight.
    const QRect desk = primary ? primary->availableGeometry() : QRect(QPoint(), screen);
    screen_ = QRect(desk.topLeft(), screen);
    if (desk.width() > screen.width() && desk.height() > screen.height())
        screen_.moveCenter(desk.center());

    // A fresh run state, as a program just started would have; the test's own settings come in
    // with the test.
    state_ = RunState{};
    const QString platform = QGuiApplication::platformName();
    state_.limitedPlatform = platform.startsWith(QLatin1String("wayland")) || !primary;
    state_.interactive = true;
    messages_.clear();
    const QByteArray& file = language_.bytes();
    loadLanguageText(messages_, std::string_view(file.constData(), std::size_t(file.size())));

    TestArchive archive = test.archiveAsSaved();
    if (archive.reference.isEmpty() || !referencePage_->loadFromBytes(archive.reference))
        referencePage_->clear();
    if (archive.introduction.isEmpty() ||
        !intro_->OleContainer1->loadFromBytes(archive.introduction))
        intro_->OleContainer1->clear();
    run_->TakeTest(std::move(archive));

    for (QWidget* w :
         {static_cast<QWidget*>(run_.get()), static_cast<QWidget*>(prompt_.get()),
          static_cast<QWidget*>(results_.get()), static_cast<QWidget*>(reference_.get()),
          static_cast<QWidget*>(intro_.get())})
        language_.apply(w);
    const QString title = QStringLiteral("%1 — %2 × %3")
                              .arg(language_.text(QStringLiteral("PreviewTitle"),
                                                  QStringLiteral("Как увидит ученик")))
                              .arg(screen.width())
                              .arg(screen.height());
    const QString note = language_.text(QStringLiteral("PreviewNote"),
                                        QStringLiteral("Просмотр: результат не записывается"));
    run_->setWindowTitle(title + QStringLiteral(" — ") + note);
    results_->setWindowTitle(title);
    intro_->setWindowTitle(title + QStringLiteral(" — ") + note);
    results_->PreviewNote->setText(note);
    reference_->resize(screen * 3 / 4);
    begin();
}

} // namespace kvz::editor
