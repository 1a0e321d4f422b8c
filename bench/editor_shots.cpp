// Puts the test editor and its preview on screen in the states worth looking at, and takes a
// screenshot of the whole screen for each (ImageMagick's import). Run it under an X server with
// a window manager, for example Xvfb with openbox; prints the files it wrote.
//
//   editor_shots FOLDER

#include "PageSources.h"
#include "TEditor.h"
#include "TPreview.h"
#include "choice/IntroductionPage.h"
#include "run/TMessage1.h"
#include "run/TTopros.h"
#include "test/EditableTest.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QEventLoop>
#include <QLineEdit>
#include <QPainter>
#include <QPdfWriter>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimeEdit>
#include <QTimer>
#include <cstdio>

namespace {

void settle(int ms = 800) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

void shoot(const QString& folder, const QString& name) {
    settle();
    const QString path = folder + QLatin1Char('/') + name + QStringLiteral(".png");
    QProcess::execute(QStringLiteral("import"),
                      {QStringLiteral("-window"), QStringLiteral("root"), path});
    std::printf("%s\n", path.toUtf8().constData());
}

QString makePicture(const QString& folder) {
    QImage image(1200, 800, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPixelSize(44);
    p.setFont(f);
    p.drawText(60, 100, QStringLiteral("Какого цвета спелый помидор?"));
    p.drawText(100, 220, QStringLiteral("1) зелёного"));
    p.drawText(100, 300, QStringLiteral("2) красного"));
    p.drawText(100, 380, QStringLiteral("3) синего"));
    p.setBrush(QColor(220, 30, 30));
    p.drawEllipse(QPoint(900, 450), 160, 150);
    p.end();
    const QString path = folder + QStringLiteral("/choice.png");
    image.save(path);
    return path;
}

QString makePdf(const QString& folder) {
    const QString path = folder + QStringLiteral("/pages.pdf");
    QPdfWriter pdf(path);
    pdf.setPageSize(QPageSize(QPageSize::A5));
    pdf.setPageOrientation(QPageLayout::Landscape);
    QPainter p(&pdf);
    QFont f(QStringLiteral("DejaVu Serif"));
    f.setPointSize(16);
    p.setFont(f);
    p.drawText(QRectF(300, 300, 7000, 3000),
               QStringLiteral("Напишите одним словом: как называется\n"
                              "столица Франции?"));
    p.end();
    return path;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: editor_shots FOLDER\n");
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(out);
    QTemporaryDir dir;

    kvz::editor::TEditor editor(QCoreApplication::applicationDirPath());
    editor.prompts.saveChanges = [](QWidget*, const QString&) {
        return kvz::editor::EditorPrompts::SaveAnswer::Discard;
    };
    editor.resize(1280, 1024);
    editor.move(0, 0);
    editor.show();

    // One question of each kind, each page made another way.
    editor.Tabs->setCurrentIndex(1);
    editor.PageFromPicture(makePicture(dir.path()));
    editor.ChoiceCount->setValue(3);
    editor.RightChoice[0]->setChecked(false);
    editor.RightChoice[1]->setChecked(true);
    editor.AddB->click();
    editor.PageFromPdf(makePdf(dir.path()), 0);
    editor.Answer->setText(QStringLiteral("париж"));
    Q_EMIT editor.Answer->textEdited(QStringLiteral("париж"));
    // A short typed page: made tall enough for square cells, the places just under its text.
    editor.AddD->click();
    editor.PageFromText(QStringLiteral(
        "<p style='font-size:16pt'><b>Расставьте</b> по <i>возрастанию</i>: муравей, кошка, "
        "слон.</p>"));
    editor.SlotCount->setValue(3);
    editor.SelectSlot(0);
    for (int i = 0; i < 3; ++i)
        editor.PageClicked(editor.slotBoard().cellRect({6 + 5 * i, 3}).center());
    editor.SelectSlot(1);
    // A typed introduction, shown before the run.
    editor.Tabs->setCurrentIndex(0);
    editor.prompts.typedPage = [](QWidget*, const QString&) {
        return std::optional<QString>(QStringLiteral(
            "<h2>Природоведение, 5 класс</h2><p>В тесте три вопроса. На каждый вопрос даётся "
            "одна попытка; ответ можно изменить, пока тест не завершён.</p>"
            "<ol><li>Выберите один ответ.</li><li>Напишите ответ одним словом.</li>"
            "<li>Расставьте номера на странице по порядку.</li></ol>"));
    };
    editor.IntroText->click();
    editor.TestTimer->setChecked(true);
    editor.TestTime->setTime(QTime(0, 15, 0));
    editor.AnswerReview->setChecked(true);
    shoot(out, QStringLiteral("editor-test"));
    editor.Tabs->setCurrentIndex(1);
    for (int k = 0; k < 3; ++k) {
        editor.SelectQuestion(k);
        shoot(out, QStringLiteral("editor-%1").arg(QLatin1Char("ABD"[k])));
    }

    for (const QSize size : {QSize(1024, 768), QSize(1280, 1024), QSize(1920, 1080)}) {
        editor.PreviewClick(size);
        kvz::TTopros& run = editor.preview()->run();
        const QString tag = QStringLiteral("preview-%1").arg(size.width());
        shoot(out, tag + QStringLiteral("-intro"));
        editor.preview()->introduction().Button4->click();
        shoot(out, tag + QStringLiteral("-A"));
        run.Otvetbool1x[1]->click();
        run.Next1Click();
        run.otvetstr->setText(QStringLiteral("париж"));
        run.Next1Click();
        shoot(out, tag + QStringLiteral("-D"));
        if (size.width() != 1280)
            continue;
        run.N4->trigger();
        shoot(out, tag + QStringLiteral("-prompt"));
        editor.preview()->prompt().Button2->click();
        shoot(out, tag + QStringLiteral("-results"));
        editor.preview()->results().Button3->click();
        shoot(out, tag + QStringLiteral("-review"));
    }
    editor.preview()->close();
    return 0;
}
