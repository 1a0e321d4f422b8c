#pragma once

// Shows one embedded-document piece (a 12-byte "BDOC" header and a compound file) as its
// presentation picture, scaled into the widget keeping its aspect. It cannot be edited or
// activated; its owner may paint over it and hears its mouse events.

#include <QByteArray>
#include <QSize>
#include <QWidget>
#include <memory>

class QIODevice;

namespace kvz {

namespace docview {
class PageRenderer;
}

class DocumentView : public QWidget {
    Q_OBJECT
public:
    explicit DocumentView(QWidget* parent = nullptr);
    ~DocumentView() override;

    // Reads exactly one piece (header + data size) from the device's current position. False,
    // with the view emptied, when the piece is rejected (signature, size beyond the bytes).
    bool loadFromStream(QIODevice& in);
    bool loadFromBytes(const QByteArray& piece);
    void clear();
    bool isEmpty() const;

    // The picture's extent at the screen's resolution, for windows sized to the document.
    QSize naturalSize() const;
    QSize sizeHint() const override { return naturalSize(); }

    // Where the page lies inside the widget (scaled keeping its aspect, centred); pageMoved
    // tells each time it changes.
    QRect pageRect() const;
    // Why the last load failed, or why a loaded piece shows an empty page; for logs.
    QString lastError() const { return lastError_; }

Q_SIGNALS:
    // After each paint; the page is drawn, then paintOver lets the owner add its markers.
    void repainted();
    void paintOver(QPainter& painter);
    void mousePressed(Qt::MouseButton button, QPoint pos);
    void mouseMoved(Qt::MouseButtons buttons, QPoint pos);
    void mouseReleased(Qt::MouseButton button, QPoint pos);
    // The page rectangle changed: the widget was resized or a page of another shape loaded.
    void pageMoved(QRect page);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void notePageRect();

    std::unique_ptr<docview::PageRenderer> renderer_;
    QString lastError_;
    QRect pageRect_; // as last told by pageMoved
};

} // namespace kvz
