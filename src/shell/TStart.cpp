#include "shell/TStart.h"

#include "l10n/Cp1251.h"
#include "shell/IniFile.h"
#include "shell/PngImage.h"
#include "shell/Settings.h"

#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <algorithm>

namespace kvz {

TStart::TStart(const QString& programFolder, const QString& languagePath) {
    setObjectName(QStringLiteral("Start"));
    setWindowFlags(Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    setAttribute(Qt::WA_DeleteOnClose);

    QPixmap picture;
    const QString own = programFolder + QStringLiteral("/Start.bmp");
    if (!QFileInfo(own).isFile() || !picture.load(own))
        picture = QPixmap::fromImage(readPngImage(QStringLiteral(":/kvizor/images/start.png")));
    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setPixmap(picture);
    Image1->setGeometry(0, 0, picture.width(), picture.height());
    setFixedSize(picture.size());

    Label1 = new QLabel(this);
    Label1->setObjectName(QStringLiteral("Label1"));
    QFont big = font();
    big.setPointSize(28);
    big.setBold(true);
    Label1->setFont(big);
    // White words over the picture; a palette rather than a style sheet, which would bring the
    // whole style sheet machinery into the start.
    QPalette white = Label1->palette();
    white.setColor(QPalette::WindowText, Qt::white);
    Label1->setPalette(white);
    Label1->setGeometry(0, height() / 2 - 10, width(), 50);
    Label1->setAlignment(Qt::AlignCenter);

    Label2 = new QLabel(this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setPalette(white);
    Label2->setGeometry(12, height() - 28, width() - 24, 20);

    Settings settings(programFolder);
    Label1->setVisible(settings.startText());
    Label2->setVisible(settings.startText());
    setWindowOpacity(std::clamp(settings.startTransparency(), 0, 255) / 255.0);

    // Read straight from the chosen file, before the message table exists.
    const IniDocument lng = IniFile(languagePath).load();
    Label1->setText(cp1251::toUnicode(lng.readString("Kvizor_msg", "msg[000]", "")));
    Label2->setText(cp1251::toUnicode(lng.readString("Kvizor_msg", "msg[002]", "")));

    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void TStart::mousePressEvent(QMouseEvent*) {
    close();
}

} // namespace kvz
