#include "TTextPage.h"

#include "EditorForm.h"

#include <QBuffer>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QImageReader>
#include <QPushButton>
#include <QSpinBox>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QTextList>
#include <QUrl>
#include <QVBoxLayout>

namespace kvz::editor {

namespace {
// A picture wider than the page's text is shown at the text's width.
constexpr int kMaxPictureWidth = 640;
constexpr qint64 kMaxPictureFile = 64 << 20;
} // namespace

TTextPage::TTextPage(const EditorLanguage& language, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("EditorText"));
    setWindowTitle(QStringLiteral("Текст страницы"));
    auto* v = new QVBoxLayout(this);
    auto* bar = new QHBoxLayout;
    Bold = rowButton(this, bar, "Bold", QStringLiteral("Ж"));
    Bold->setCheckable(true);
    QFont f = Bold->font();
    f.setBold(true);
    Bold->setFont(f);
    Italic = rowButton(this, bar, "Italic", QStringLiteral("К"));
    Italic->setCheckable(true);
    f.setBold(false);
    f.setItalic(true);
    Italic->setFont(f);
    FontSize = new QSpinBox(this);
    FontSize->setObjectName(QStringLiteral("FontSize"));
    FontSize->setRange(6, 72);
    FontSize->setValue(12);
    FontSize->setSuffix(QStringLiteral(" pt"));
    bar->addWidget(FontSize);
    Bullets = rowButton(this, bar, "Bullets", QStringLiteral("• список"));
    Numbers = rowButton(this, bar, "Numbers", QStringLiteral("1. список"));
    Picture = rowButton(this, bar, "Picture", QStringLiteral("Картинка..."));
    bar->addStretch();
    v->addLayout(bar);
    TextEdit = new QTextEdit(this);
    TextEdit->setObjectName(QStringLiteral("TextEdit"));
    QFont base(QStringLiteral("DejaVu Sans"));
    base.setPointSizeF(12);
    TextEdit->document()->setDefaultFont(base);
    v->addWidget(TextEdit, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    OkButton = rowButton(this, buttons, "OkButton", QStringLiteral("Сделать страницу"));
    CancelButton = rowButton(this, buttons, "CancelButton", QStringLiteral("Отмена"));
    v->addLayout(buttons);
    connect(OkButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);

    connect(Bold, &QPushButton::toggled, this,
            [this](bool on) { TextEdit->setFontWeight(on ? QFont::Bold : QFont::Normal); });
    connect(Italic, &QPushButton::toggled, this, [this](bool on) { TextEdit->setFontItalic(on); });
    connect(FontSize, &QSpinBox::valueChanged, this,
            [this](int pt) { TextEdit->setFontPointSize(pt); });
    auto list = [this](QTextListFormat::Style style) {
        QTextCursor c = TextEdit->textCursor();
        if (QTextList* l = c.currentList(); l && l->format().style() == style) {
            QTextBlockFormat plain;
            plain.setIndent(0);
            c.setBlockFormat(plain);
            l->remove(c.block());
            return;
        }
        c.createList(style);
    };
    connect(Bullets, &QPushButton::clicked, this, [list] { list(QTextListFormat::ListDisc); });
    connect(Numbers, &QPushButton::clicked, this, [list] { list(QTextListFormat::ListDecimal); });
    connect(Picture, &QPushButton::clicked, this, [this] {
        const QString path = QFileDialog::getOpenFileName(
            this, windowTitle(), QString(), QStringLiteral("*.png *.jpg *.jpeg *.bmp *.gif *.svg"));
        if (!path.isEmpty())
            insertPicture(path);
    });
    connect(TextEdit, &QTextEdit::currentCharFormatChanged, this, [this](const QTextCharFormat& f) {
        const QSignalBlocker b1(Bold), b2(Italic), b3(FontSize);
        Bold->setChecked(f.fontWeight() >= QFont::Bold);
        Italic->setChecked(f.fontItalic());
        if (f.fontPointSize() > 0)
            FontSize->setValue(int(f.fontPointSize()));
    });
    language.apply(this);
    resize(800, 600);
}

void TTextPage::setHtml(const QString& html) {
    if (!html.isEmpty())
        TextEdit->setHtml(html);
}

QString TTextPage::html() const {
    return TextEdit->toHtml();
}

bool TTextPage::insertPicture(const QString& path) {
    QImageReader reader(path);
    if (QFileInfo(path).size() > kMaxPictureFile)
        return false;
    QImage image = reader.read();
    if (image.isNull())
        return false;
    if (image.width() > kMaxPictureWidth * 3)
        image = image.scaledToWidth(kMaxPictureWidth * 3, Qt::SmoothTransformation);
    // The picture travels inside the HTML, so the page can be drawn again from it alone.
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    const QUrl name(QStringLiteral("data:image/png;base64,") + QString::fromLatin1(png.toBase64()));
    TextEdit->document()->addResource(QTextDocument::ImageResource, name, image);
    QTextImageFormat format;
    format.setName(name.toString());
    format.setWidth(std::min(image.width(), kMaxPictureWidth));
    format.setHeight(double(image.height()) * std::min(image.width(), kMaxPictureWidth) /
                     image.width());
    TextEdit->textCursor().insertImage(format);
    return true;
}

} // namespace kvz::editor
