#include "run/TTextbookViewer.h"

#include "platform/Lockdown.h"
#include "run/TextbookLink.h"
#include "shell/NamedFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QImageReader>
#include <QLabel>
#include <QPdfDocument>
#include <QPdfPageNavigator>
#include <QPdfView>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextCursor>
#include <QVBoxLayout>
#include <algorithm>
#include <memory>

namespace kvz {

namespace {

// The share of the screen the window takes: the run window stays visible around it.
constexpr double kScreenShare = 0.85;

std::optional<QByteArray> readSmallFile(const QString& path) {
    return readNamedFile(path, TTextbookViewer::kMaxTextBytes, nullptr);
}

// Textbook pages written on the other desktop are often in Windows-1251 without saying so;
// pages and the pages they link to are decoded here. Links leave only for other local pages:
// a web address would open a browser beside the locked test.
class TextbookBrowser : public QTextBrowser {
public:
    explicit TextbookBrowser(QWidget* parent) : QTextBrowser(parent) {
        setOpenLinks(false);
        setOpenExternalLinks(false);
        connect(this, &QTextBrowser::anchorClicked, this, [this](const QUrl& url) {
            const QUrl target = source().resolved(url);
            if (target.isLocalFile() &&
                textbookViewFor(target.toLocalFile()) == TextbookView::Html &&
                QFileInfo::exists(target.toLocalFile()))
                setSource(target);
            else if (url.scheme().isEmpty() && url.path().isEmpty() && url.hasFragment())
                scrollToAnchor(url.fragment());
        });
    }

    // The anchor at the top of the page, with the text cursor there: a cursor left at the start
    // would take the page back up when the window gets the keyboard.
    void goToAnchor(const QString& name) {
        for (QTextBlock block = document()->begin(); block.isValid(); block = block.next()) {
            for (auto it = block.begin(); !it.atEnd(); ++it) {
                const QTextFragment fragment = it.fragment();
                if (fragment.isValid() && fragment.charFormat().anchorNames().contains(name)) {
                    QTextCursor cursor(document());
                    cursor.setPosition(fragment.position());
                    setTextCursor(cursor);
                    scrollToAnchor(name);
                    return;
                }
            }
        }
    }

    bool loadPage(const QString& path) {
        if (!readSmallFile(path))
            return false;
        setSource(QUrl::fromLocalFile(path), QTextDocument::HtmlResource);
        return true;
    }

protected:
    QVariant loadResource(int type, const QUrl& name) override {
        if (type == QTextDocument::HtmlResource && name.isLocalFile()) {
            const auto bytes = readSmallFile(name.toLocalFile());
            return bytes ? QVariant(decodeTextbookText(*bytes)) : QVariant();
        }
        return QTextBrowser::loadResource(type, name);
    }
};

// Owns its document and lets go of it before it goes: a document that outlives its view's
// insides would signal into them.
class TextbookPdfView : public QPdfView {
public:
    explicit TextbookPdfView(QWidget* parent) : QPdfView(parent) {}
    ~TextbookPdfView() override {
        QPdfDocument* document = this->document();
        setDocument(nullptr);
        delete document;
    }
};

} // namespace

TTextbookViewer::TTextbookViewer(QWidget* over, const QString& closeText)
    : QDialog(over, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                        Qt::WindowMaximizeButtonHint | Qt::WindowStaysOnTopHint) {
    setObjectName(QStringLiteral("TextbookViewer"));
    setModal(false);
    layout_ = new QVBoxLayout(this);
    closeButton_ = new QPushButton(closeText, this);
    closeButton_->setObjectName(QStringLiteral("textbookClose"));
    closeButton_->setAutoDefault(false);
    connect(closeButton_, &QPushButton::clicked, this, &QDialog::close);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(closeButton_);
    layout_->addLayout(buttons);

    if (const QScreen* screen = over ? over->screen() : QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        resize(int(area.width() * kScreenShare), int(area.height() * kScreenShare));
    }
}

QWidget* TTextbookViewer::makeContent(const QString& path) {
    switch (textbookViewFor(path)) {
    case TextbookView::Html: {
        auto* browser = new TextbookBrowser(this);
        if (!browser->loadPage(path)) {
            delete browser;
            return nullptr;
        }
        return browser;
    }
    case TextbookView::Text: {
        const auto bytes = readSmallFile(path);
        if (!bytes)
            return nullptr;
        auto* text = new QPlainTextEdit(this);
        text->setReadOnly(true);
        text->setPlainText(decodeTextbookText(*bytes));
        return text;
    }
    case TextbookView::Picture: {
        QImageReader reader(path);
        reader.setAutoTransform(true);
        const QImage image = reader.read();
        if (image.isNull())
            return nullptr;
        auto* label = new QLabel(this);
        label->setAlignment(Qt::AlignCenter);
        // Large pictures are scaled down to the window; small ones keep their size.
        const QSize room = size() - QSize(40, 80);
        QPixmap pixmap = QPixmap::fromImage(image);
        if (pixmap.width() > room.width() || pixmap.height() > room.height())
            pixmap = pixmap.scaled(room, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        label->setPixmap(pixmap);
        auto* area = new QScrollArea(this);
        area->setWidget(label);
        area->setWidgetResizable(true);
        area->setAlignment(Qt::AlignCenter);
        return area;
    }
    case TextbookView::Pdf: {
        auto document = std::make_unique<QPdfDocument>();
        if (document->load(path) != QPdfDocument::Error::None || document->pageCount() <= 0)
            return nullptr;
        auto* view = new TextbookPdfView(this);
        view->setDocument(document.release());
        view->setPageMode(QPdfView::PageMode::MultiPage);
        view->setZoomMode(QPdfView::ZoomMode::FitToWidth);
        return view;
    }
    case TextbookView::Outside:
        break;
    }
    return nullptr;
}

bool TTextbookViewer::open(const QString& path, const TextbookPlace& place) {
    QWidget* next = makeContent(path);
    if (!next)
        return false;
    next->setObjectName(QStringLiteral("textbookContent"));
    delete content_;
    content_ = next;
    layout_->insertWidget(0, content_, 1);
    // The book's own title where it has one; its file name otherwise.
    const QString fileTitle = QFileInfo(path).completeBaseName();
    if (auto* browser = qobject_cast<QTextBrowser*>(content_)) {
        auto showTitle = [this, browser](const QUrl& page) {
            const QString title = browser->documentTitle().simplified();
            setWindowTitle(title.isEmpty() ? QFileInfo(page.toLocalFile()).completeBaseName()
                                           : title);
        };
        showTitle(browser->source());
        // A link to another page of the book brings that page's title (the signal names the new
        // page before the browser's own source says so).
        connect(browser, &QTextBrowser::sourceChanged, this, showTitle);
    } else if (auto* pdf = qobject_cast<QPdfView*>(content_)) {
        const QString title =
            pdf->document()->metaData(QPdfDocument::MetaDataField::Title).toString().simplified();
        setWindowTitle(title.isEmpty() ? fileTitle : title);
    } else {
        setWindowTitle(fileTitle);
    }
    popUp();
    // The place once the view has its size: where an anchor or a page lies follows from it.
    if (auto* pdf = qobject_cast<QPdfView*>(content_); pdf && place.pdfPage > 0)
        pdf->pageNavigator()->jump(std::min(place.pdfPage, pdf->document()->pageCount()) - 1, {});
    if (auto* page = dynamic_cast<TextbookBrowser*>(content_); page && !place.fragment.isEmpty())
        page->goToAnchor(place.fragment);
    content_->setFocus();
    return true;
}

void TTextbookViewer::popUp() {
    bringBack(this);
}

} // namespace kvz
