// The straightforward ticker, for comparison with the program: a tool-window
// strip holding a QLabel that a plain 16 ms QTimer moves 0.8 px to the left.
// QWidget::move takes whole pixels, so the position is kept as a double and
// rounded on every step. The timer fires every 16 ms even on steps where the
// rounded position stays put; every real move repaints the label's old and new
// area through the widget stack.
//
// Usage: bench_baseline_ticker FEED.json
// Prints "[baseline] Loaded N titles" once the strip is showing.

#include <QApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QScreen>
#include <QStringList>
#include <QTimer>
#include <QWidget>

#include <cmath>
#include <cstdio>

namespace {

constexpr int kWidth = 200;
constexpr int kHeight = 22;
constexpr int kInset = 5;
constexpr double kStep = 0.8;

QStringList readTitles(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList titles;
    const QJsonArray papers = QJsonDocument::fromJson(file.readAll())
                                  .object()
                                  .value(QStringLiteral("papers"))
                                  .toArray();
    for (const QJsonValue &paper : papers)
        titles.append(paper.toObject().value(QStringLiteral("title")).toString());
    return titles;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_baseline_ticker FEED.json\n");
        return 2;
    }
    const QStringList titles = readTitles(QString::fromLocal8Bit(argv[1]));
    if (titles.isEmpty()) {
        std::fprintf(stderr, "bench_baseline_ticker: no titles in %s\n", argv[1]);
        return 1;
    }

    QWidget strip(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    strip.setWindowTitle(QStringLiteral("Quillet baseline"));
    strip.setFixedSize(kWidth, kHeight);
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        strip.move(area.right() + 1 - kWidth, area.top());
    }

    // The label lives in a clipping container so that it disappears at the inset.
    QWidget container(&strip);
    container.setGeometry(kInset, 0, kWidth - 2 * kInset, kHeight);
    QLabel label(&container);
    QFont font = label.font();
    font.setPixelSize(13);
    label.setFont(font);

    qsizetype index = 0;
    double x = 0;
    auto showTitle = [&] {
        label.setText(titles[index]);
        label.adjustSize();
        x = container.width();
        label.move(int(std::lround(x)), (kHeight - label.height()) / 2);
    };
    showTitle();

    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        x -= kStep;
        if (x + label.width() < 0) {
            index = (index + 1) % titles.size();
            showTitle();
            return;
        }
        label.move(int(std::lround(x)), label.y());
    });
    timer.start(16);

    strip.show();
    std::printf("[baseline] Loaded %lld titles\n", static_cast<long long>(titles.size()));
    std::fflush(stdout);
    return QApplication::exec();
}
