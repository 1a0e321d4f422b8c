#include "net/ProtocolSocket.h"

#include "net/ClientProtocol.h"

#include <QTimer>

namespace kvz {

namespace {
constexpr qint64 kFilePiece = 64 * 1024;
constexpr qint64 kSocketBacklog = 256 * 1024;
// Archive pieces taken in one turn of the event loop: about 1 MB, then the interface breathes.
constexpr int kPiecesPerTurn = 100;
// While an archive arrives, Qt takes at most this much from the system ahead of the engine:
// left unbounded it reads megabytes at a time into fresh memory, and the page faults of that
// memory cost more than the copying. This one piece of buffer is used over and over instead.
constexpr qint64 kDownloadReadAhead = 64 * 1024;
} // namespace

ProtocolSocket::ProtocolSocket(QObject* parent) : QObject(parent) {
    connect(&socket_, &QTcpSocket::readyRead, this, &ProtocolSocket::queueStep);
    connect(&socket_, &QTcpSocket::bytesWritten, this, &ProtocolSocket::pumpFiles);
    connect(&socket_, &QTcpSocket::connected, this, &ProtocolSocket::connected);
    connect(&socket_, &QTcpSocket::disconnected, this, [this] {
        files_.clear();
        Q_EMIT disconnected();
    });
    connect(&socket_, &QTcpSocket::errorOccurred, this, [this] {
        // A connection that breaks reports its end through disconnected(); only a failed
        // attempt is an error of the connect box.
        if (socket_.state() != QAbstractSocket::ConnectedState &&
            socket_.state() != QAbstractSocket::ClosingState)
            Q_EMIT errorOccurred();
    });
}

ProtocolSocket::~ProtocolSocket() {
    socket_.disconnect(this);
    socket_.abort();
}

void ProtocolSocket::connectTo(const QString& host, quint16 port) {
    socket_.abort();
    socket_.connectToHost(host, port);
}

void ProtocolSocket::close() {
    if (socket_.state() == QAbstractSocket::UnconnectedState)
        return;
    socket_.disconnectFromHost();
}

void ProtocolSocket::send(std::string_view bytes) {
    if (!isActive())
        return;
    socket_.write(bytes.data(), qint64(bytes.size()));
}

bool ProtocolSocket::sendFile(const QString& path) {
    if (!isActive())
        return false;
    auto file = std::make_unique<QFile>(path);
    if (!file->open(QIODevice::ReadOnly))
        return false;
    files_.push_back(std::move(file));
    pumpFiles();
    return true;
}

qint64 ProtocolSocket::pendingFileBytes() const {
    qint64 left = 0;
    for (const auto& f : files_)
        left += f->size() - f->pos();
    return left;
}

void ProtocolSocket::pumpFiles() {
    bool sentSome = false;
    while (!files_.empty() && isActive() && socket_.bytesToWrite() < kSocketBacklog) {
        QFile& f = *files_.front();
        const QByteArray piece = f.read(kFilePiece);
        if (piece.isEmpty()) {
            files_.pop_front(); // all of it handed over (or unreadable): close it
            sentSome = true;
            continue;
        }
        socket_.write(piece);
    }
    if (sentSome && files_.empty())
        Q_EMIT filesSent();
}

void ProtocolSocket::queueStep() {
    if (stepQueued_)
        return;
    stepQueued_ = true;
    QTimer::singleShot(0, this, &ProtocolSocket::step);
}

void ProtocolSocket::step() {
    stepQueued_ = false;
    if (!engine_)
        return;
    // A step never runs inside another (an event loop opened from the engine's host): the
    // engine is in the middle of its bytes, and the buffer they are read from must not move.
    if (inStep_) {
        stepAfter_ = true;
        return;
    }
    inStep_ = true;
    readSteps();
    inStep_ = false;
    // Only during a download, so every other step still gets all that has arrived.
    socket_.setReadBufferSize(engine_->readState() == ReadState::Downloading ? kDownloadReadAhead
                                                                             : 0);
    if (stepAfter_) {
        stepAfter_ = false;
        queueStep();
    }
}

void ProtocolSocket::readSteps() {
    // Pieces of an archive do not depend on when they are read: they are taken one after the
    // other here. Every other step waits for its own turn of the event loop, so a word and
    // the text after it stay two steps, the text being all that has arrived by then.
    for (int piece = 0; piece < kPiecesPerTurn; ++piece) {
        const qint64 available = socket_.bytesAvailable();
        if (available <= 0)
            return;
        const std::size_t n = engine_->bytesToRead(std::size_t(available));
        if (n == 0)
            return; // a test is being loaded: the step that loads it queues the next one
        if (readBuffer_.size() < qsizetype(n))
            readBuffer_.resize(qsizetype(n));
        const qint64 got = socket_.read(readBuffer_.data(), qint64(n));
        if (got <= 0)
            return;
        engine_->readStep(std::string_view(readBuffer_.constData(), std::size_t(got)));
        if (engine_->readState() != ReadState::Downloading)
            break;
    }
    // Qt will not say again that these bytes are there.
    if (socket_.bytesAvailable() > 0)
        queueStep();
}

} // namespace kvz
