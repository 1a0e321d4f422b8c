// kvizor-pack build's peak memory against the size of what it packs: a 254-question test whose
// pages are ready pieces (so the time goes to packing, not to making pages), of noise (random
// bytes, which deflate cannot shrink) and of flat pages (long runs), run as the teacher runs it.
// The peak resident size of the process (ru_maxrss) is divided by the unpacked size of WORD.doc;
// the same for a one-question test shows what the tool takes before any page.
//
//   bench_pack [MEGABYTES]   MEGABYTES (unpacked pages) defaults to 50

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <vector>

extern char** environ;

namespace {

enum class Pages { Noise, Flat };

// Writes folder/test.ini and its pieces; returns the unpacked size of WORD.doc.
qint64 makeTest(const QString& folder, int questions, qint64 pageBytes, Pages kind) {
    QByteArray ini = "[Test]\nSubject=bench\n";
    qint64 total = 0;
    QRandomGenerator random(7);
    for (int k = 1; k <= questions; ++k) {
        QByteArray piece("BDOC");
        piece.resize(qsizetype(pageBytes));
        if (kind == Pages::Noise) {
            for (qsizetype i = 4; i + 4 <= piece.size(); i += 4) {
                const quint32 v = random.generate();
                std::memcpy(piece.data() + i, &v, 4);
            }
        } else {
            for (qsizetype i = 4; i < piece.size(); ++i)
                piece[i] = char('a' + (i / 4096 + k) % 26);
        }
        const QString name = QStringLiteral("q%1.piece").arg(k);
        QFile f(folder + QLatin1Char('/') + name);
        if (!f.open(QIODevice::WriteOnly) || f.write(piece) != piece.size())
            return -1;
        total += piece.size();
        ini += QStringLiteral("[Question%1]\nKind=A\nChoices=2\nRight=1\nPage=%2\n")
                   .arg(k)
                   .arg(name)
                   .toUtf8();
    }
    QFile f(folder + QStringLiteral("/test.ini"));
    if (!f.open(QIODevice::WriteOnly) || f.write(ini) != ini.size())
        return -1;
    // The two blank pages (introduction, reference) and the table are a few hundred bytes.
    return total + 256 * 4 + 1;
}

// Runs kvizor-pack build; its peak resident size in kilobytes, or -1.
long packPeakKb(const QString& folder, const QString& output) {
    const std::string program = KVIZOR_PACK;
    const QByteArray in = QFile::encodeName(folder), out = QFile::encodeName(output);
    std::vector<char*> argv{const_cast<char*>(program.c_str()), const_cast<char*>("build"),
                            const_cast<char*>(in.constData()),  const_cast<char*>("-o"),
                            const_cast<char*>(out.constData()), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return -1;
    int status = 0;
    rusage usage{};
    if (::wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return -1;
    return usage.ru_maxrss;
}

} // namespace

int main(int argc, char** argv) {
    const qint64 megabytes = argc == 2 ? std::max(1, std::atoi(argv[1])) : 50;
    const int questions = 254;
    const qint64 pageBytes = megabytes * 1024 * 1024 / questions;
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;

    const QString small = dir.filePath(QStringLiteral("small"));
    QDir().mkpath(small);
    const qint64 smallSize = makeTest(small, 1, 4096, Pages::Flat);
    const long smallKb = packPeakKb(small, dir.filePath(QStringLiteral("small.tst")));
    if (smallSize < 0 || smallKb < 0) {
        std::fputs("bench_pack: the one-question test could not be built\n", stderr);
        return 1;
    }
    std::printf("kvizor-pack build, one question (4 KB): peak %.1f MB (what the tool takes "
                "before any page)\n",
                double(smallKb) / 1024);
    for (const auto& [kind, label] : {std::pair{Pages::Noise, "noise"}, {Pages::Flat, "flat"}}) {
        const QString folder = dir.filePath(QString::fromLatin1(label));
        QDir().mkpath(folder);
        const qint64 unpacked = makeTest(folder, questions, pageBytes, kind);
        const QString output = folder + QStringLiteral(".tst");
        const long peakKb = packPeakKb(folder, output);
        if (unpacked < 0 || peakKb < 0) {
            std::fprintf(stderr, "bench_pack: the %s test could not be built\n", label);
            return 1;
        }
        std::printf("kvizor-pack build, %d %s pages, %.1f MB unpacked, archive %.1f MB: peak "
                    "%.1f MB = %.2fx the unpacked size (goal <= 1.5x)\n",
                    questions, label, double(unpacked) / (1 << 20),
                    double(QFile(output).size()) / (1 << 20), double(peakKb) / 1024,
                    double(peakKb) * 1024 / double(unpacked));
    }
    return 0;
}
