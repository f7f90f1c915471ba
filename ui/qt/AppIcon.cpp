#include "ui/qt/AppIcon.h"

#include <QIconEngine>
#include <QImageReader>
#include <QPainter>
#include <QPixmap>
#include <QString>

#include <array>
#include <bitset>

// Outside any namespace: the macro declares the resource's init function.
static void InitIconResources()
{
    Q_INIT_RESOURCE(tolvanex);
}

namespace {

constexpr std::array<int, 9> kSizes{16, 20, 24, 32, 40, 48, 64, 128, 256};

class AppIconEngine final : public QIconEngine {
public:
    AppIconEngine() = default;
    AppIconEngine(const AppIconEngine& other) = default;

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        return Decoded(size).pixmap(size, mode, state);
    }

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override
    {
        Decoded(rect.size() * painter->device()->devicePixelRatio()).paint(painter, rect, Qt::AlignCenter, mode, state);
    }

    QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override
    {
        const int edge = kSizes[Serving(size)];
        return edge > size.width() || edge > size.height() ? QSize(edge, edge).scaled(size, Qt::KeepAspectRatio)
                                                           : QSize(edge, edge);
    }

    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override
    {
        QList<QSize> sizes;
        for (int edge : kSizes)
            sizes.append(QSize(edge, edge));
        return sizes;
    }

    QIconEngine* clone() const override { return new AppIconEngine(*this); }
    QString key() const override { return QStringLiteral("tolvanex"); }
    bool isNull() override { return false; }

private:
    // The image a request of `size` gets, as QIcon chooses it: the smallest
    // that covers its area, or else the largest.
    static std::size_t Serving(const QSize& size)
    {
        const qint64 area = qint64(size.width()) * size.height();
        for (std::size_t i = 0; i < kSizes.size(); ++i) {
            if (qint64(kSizes[i]) * kSizes[i] >= area)
                return i;
        }
        return kSizes.size() - 1;
    }

    // The images decoded so far, the one that serves `size` among them; from
    // those, QIcon picks that one by the same rule.
    QIcon& Decoded(const QSize& size)
    {
        const std::size_t i = Serving(size);
        if (!m_decoded.test(i)) {
            m_decoded.set(i);
            QImageReader reader(QStringLiteral(":/icons/tolvanex-updater-%1.png").arg(kSizes[i]), "png");
            reader.setAutoDetectImageFormat(false);  // no image plugin to ask
            const QImage image = reader.read();
            if (!image.isNull())
                m_images.addPixmap(QPixmap::fromImage(image));
        }
        return m_images;
    }

    QIcon m_images;
    std::bitset<kSizes.size()> m_decoded;
};

}  // namespace

QIcon AppIcon()
{
    // Made once, after the application object, and kept to the end.
    static const QIcon* const icon = [] {
        InitIconResources();
        return new QIcon(new AppIconEngine);
    }();
    return *icon;
}

QIcon EarlyIcon(const QIcon& icon)
{
    // The two sizes of a Windows window's icons, small (title bar) and big.
    QIcon early;
    for (int edge : {16, 32})
        early.addPixmap(icon.pixmap(QSize(edge, edge)));
    return early;
}
