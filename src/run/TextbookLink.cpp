#include "run/TextbookLink.h"

#include "l10n/Cp1251.h"

#include <QByteArray>
#include <QDir>
#include <QFileInfo>
#include <QStringDecoder>

namespace kvz {

namespace {

// How far into an HTML page its charset declaration is looked for.
constexpr qsizetype kCharsetWindow = 2048;

QString fromArchive(std::string_view bytes) {
    return cp1251::toUnicode(bytes);
}

// Links are written on the other desktop: either separator names a folder.
QString withSlashes(QString path) {
    return path.replace(QLatin1Char('\\'), QLatin1Char('/'));
}

std::optional<QStringConverter::Encoding> declaredCharset(const QByteArray& bytes) {
    const QByteArray head = bytes.left(kCharsetWindow).toLower();
    const qsizetype at = head.indexOf("charset=");
    if (at < 0)
        return std::nullopt;
    QByteArray name = head.mid(at + 8, 16);
    while (!name.isEmpty() && (name[0] == '"' || name[0] == '\'' || name[0] == ' '))
        name.remove(0, 1);
    if (name.startsWith("utf-8") || name.startsWith("utf8"))
        return QStringConverter::Utf8;
    return std::nullopt;
}

bool declaresCp1251(const QByteArray& bytes) {
    const QByteArray head = bytes.left(kCharsetWindow).toLower();
    return head.contains("charset=windows-1251") || head.contains("charset=\"windows-1251") ||
           head.contains("charset=cp1251");
}

} // namespace

TextbookLink parseTextbookLink(std::string_view textbook) {
    TextbookLink link;
    if (!textbook.empty() && textbook.front() == '>') {
        link.inProgramFolder = true;
        textbook.remove_prefix(1);
    }
    const auto bar = textbook.find('|');
    if (bar != std::string_view::npos) {
        link.parameters = fromArchive(textbook.substr(bar + 1));
        textbook = textbook.substr(0, bar);
    }
    link.file = withSlashes(fromArchive(textbook));
    return link;
}

QString textbookHint(std::string_view textbook) {
    if (!textbook.empty() && textbook.front() == '>')
        textbook.remove_prefix(1);
    std::string t(textbook);
    if (const auto bar = t.find('|'); bar != std::string::npos)
        t[bar] = ' ';
    return fromArchive(t);
}

QString resolveTextbookFile(const TextbookLink& link, const QString& programFolder,
                            const QString& currentFolder) {
    QString file = link.file;
    if (file.isEmpty())
        return {};
    if (link.inProgramFolder) {
        // ">\Books\a.htm" and ">Books\a.htm" both lie below the program folder.
        while (file.startsWith(QLatin1Char('/')))
            file.remove(0, 1);
        return QDir::cleanPath(programFolder + QLatin1Char('/') + file);
    }
    if (QDir::isAbsolutePath(file))
        return QDir::cleanPath(file);
    const QString fromCurrent = QDir::cleanPath(QDir(currentFolder).filePath(file));
    if (QFileInfo::exists(fromCurrent))
        return fromCurrent;
    // The current folder is not the Base folder when the test came from the server.
    const QString fromBase = QDir::cleanPath(programFolder + QStringLiteral("/Base/") + file);
    return QFileInfo::exists(fromBase) ? fromBase : fromCurrent;
}

QString textbookWorkingFolder(const TextbookLink& link, const QString& programFolder) {
    return link.inProgramFolder ? programFolder : QString();
}

TextbookView textbookViewFor(const QString& path) {
    const QString ext = QFileInfo(path).suffix().toLower();
    if (ext == QLatin1String("htm") || ext == QLatin1String("html") ||
        ext == QLatin1String("xhtml") || ext == QLatin1String("shtml"))
        return TextbookView::Html;
    if (ext == QLatin1String("txt") || ext == QLatin1String("text"))
        return TextbookView::Text;
    if (ext == QLatin1String("png") || ext == QLatin1String("jpg") ||
        ext == QLatin1String("jpeg") || ext == QLatin1String("bmp") ||
        ext == QLatin1String("gif") || ext == QLatin1String("svg"))
        return TextbookView::Picture;
    if (ext == QLatin1String("pdf"))
        return TextbookView::Pdf;
    return TextbookView::Outside;
}

namespace {

// "page=N" (a leading "#" allowed) or a bare N: the page N, from 1; 0 otherwise.
int pdfPageOf(QString word) {
    if (word.startsWith(QLatin1Char('#')))
        word.remove(0, 1);
    if (word.startsWith(QLatin1String("page="), Qt::CaseInsensitive))
        word.remove(0, 5);
    bool ok = false;
    const int page = word.toInt(&ok);
    return ok && page > 0 ? page : 0;
}

} // namespace

TextbookPlace textbookPlace(const QString& parameters, TextbookView view) {
    TextbookPlace place;
    const QString text = parameters.trimmed();
    if (text.isEmpty())
        return place;
    if (view == TextbookView::Html && text.startsWith(QLatin1Char('#')) && text.size() > 1) {
        place.fragment = text.mid(1);
        return place;
    }
    if (view != TextbookView::Pdf) {
        place.unused = text;
        return place;
    }
    // A reader's own options ("/A page=5" of the other desktop) around the page are left out.
    QStringList unused;
    const QStringList words = text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (qsizetype i = 0; i < words.size(); ++i) {
        QString word = words[i];
        if (word.size() >= 2 && word.startsWith(QLatin1Char('"')) &&
            word.endsWith(QLatin1Char('"')))
            word = word.mid(1, word.size() - 2);
        const int page = place.pdfPage == 0 ? pdfPageOf(word) : 0;
        if (page > 0) {
            place.pdfPage = page;
            if (!unused.isEmpty() &&
                unused.last().compare(QLatin1String("/A"), Qt::CaseInsensitive) == 0)
                unused.removeLast();
            continue;
        }
        unused << words[i];
    }
    place.unused = unused.join(QLatin1Char(' '));
    return place;
}

QString decodeTextbookText(const QByteArray& bytes) {
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return QString::fromUtf8(bytes.mid(3));
    if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF")) {
        QStringDecoder utf16(QStringConverter::Utf16);
        return utf16(bytes);
    }
    if (declaredCharset(bytes))
        return QString::fromUtf8(bytes);
    if (!declaresCp1251(bytes)) {
        QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
        const QString text = utf8(bytes);
        if (!utf8.hasError())
            return text;
    }
    return cp1251::toUnicode(std::string_view(bytes.constData(), std::size_t(bytes.size())));
}

} // namespace kvz
