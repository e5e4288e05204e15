// Draws the start-up picture and the program icon. Run once by hand when the
// artwork changes; the PNG files it writes are kept in the repository:
//   g++ -std=c++20 -fPIC draw_pictures.cpp $(pkg-config --cflags --libs Qt6Gui) -o /tmp/draw
//   QT_QPA_PLATFORM=offscreen /tmp/draw <data dir>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

namespace {

// A two-pan balance centred on (cx, top), scaled by s.
void DrawBalance(QPainter& p, double cx, double top, double s, const QColor& metal,
                 const QColor& dark) {
  p.save();
  p.translate(cx, top);
  p.scale(s, s);
  QPen pen(dark, 3);
  pen.setCapStyle(Qt::RoundCap);
  p.setPen(pen);
  // Column and foot.
  p.setBrush(metal);
  p.drawRect(QRectF(-5, 10, 10, 120));
  p.drawRoundedRect(QRectF(-45, 128, 90, 14), 5, 5);
  // Beam.
  p.drawRoundedRect(QRectF(-110, 4, 220, 10), 4, 4);
  p.drawEllipse(QPointF(0, 9), 9, 9);
  // Pans hanging from the beam ends.
  for (int side : {-1, 1}) {
    const double x = side * 100.0;
    p.drawLine(QPointF(x, 12), QPointF(x - 28, 80));
    p.drawLine(QPointF(x, 12), QPointF(x + 28, 80));
    QPainterPath pan;
    pan.moveTo(x - 38, 80);
    pan.quadTo(x, 112, x + 38, 80);
    pan.closeSubpath();
    p.drawPath(pan);
  }
  // A weight on each pan: the reference and the weight under test.
  p.setBrush(QColor(200, 160, 60));
  for (int side : {-1, 1}) {
    const double x = side * 100.0;
    p.drawRoundedRect(QRectF(x - 13, 56, 26, 28), 4, 4);
    p.drawEllipse(QPointF(x, 52), 7, 5);
  }
  p.restore();
}

QImage Splash() {
  QImage img(460, 300, QImage::Format_RGB32);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient bg(0, 0, 0, 300);
  bg.setColorAt(0, QColor(18, 44, 92));
  bg.setColorAt(1, QColor(8, 18, 40));
  p.fillRect(img.rect(), bg);
  QRadialGradient glow(QPointF(230, 120), 200);
  glow.setColorAt(0, QColor(80, 130, 210, 120));
  glow.setColorAt(1, QColor(80, 130, 210, 0));
  p.fillRect(img.rect(), glow);
  DrawBalance(p, 230, 40, 0.95, QColor(215, 222, 232), QColor(40, 60, 90));

  p.setPen(Qt::white);
  QFont title("Liberation Sans");
  title.setPixelSize(40);
  title.setBold(true);
  p.setFont(title);
  p.drawText(QRectF(0, 182, 460, 48), Qt::AlignCenter, "Librato");
  QFont line("Liberation Sans");
  line.setPixelSize(15);
  p.setFont(line);
  p.setPen(QColor(210, 225, 245));
  p.drawText(QRectF(0, 230, 460, 22), Qt::AlignCenter,
             QString::fromUtf8("Поверка гирь методом сличения с эталоном"));
  QFont small("Liberation Sans");
  small.setPixelSize(12);
  p.setFont(small);
  p.setPen(QColor(150, 170, 200));
  p.drawText(QRectF(0, 262, 460, 18), Qt::AlignCenter,
             QString::fromUtf8("Циклы ABA, ABBA, AB1…BnA   •   Version 1.0.43C"));
  p.end();
  return img;
}

QImage Icon(int size) {
  QImage img(size, size, QImage::Format_ARGB32);
  img.fill(Qt::transparent);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(22, 60, 130));
  p.drawRoundedRect(QRectF(0, 0, size, size), size * 0.18, size * 0.18);
  DrawBalance(p, size / 2.0, size * 0.14, size / 250.0, QColor(235, 240, 248),
              QColor(235, 240, 248));
  p.end();
  return img;
}

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  const QString dir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString(".");
  bool ok = Splash().save(dir + "/pictures/splash.png");
  ok = Icon(64).save(dir + "/icons/librato.png") && ok;
  return ok ? 0 : 1;
}
