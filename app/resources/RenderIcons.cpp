// vandrel-icons SVG OUTDIR SIZE...: renders the program's scalable icon into
// OUTDIR/<size>x<size>/apps/vandrel.png for each size, the hicolor theme's
// layout. Used by the build; exit status 1 with a message when the icon
// cannot be read or a file cannot be written.
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>
#include <cstdio>

namespace {

bool Render(const QString& svg, const QString& outDir, int size) {
  QImageReader reader(svg);
  reader.setScaledSize(QSize(size, size));
  const QImage image = reader.read();
  if (image.isNull()) {
    std::fprintf(stderr, "vandrel-icons: %s: %s\n", qPrintable(svg), qPrintable(reader.errorString()));
    return false;
  }
  const QString folder = QString("%1/%2x%2/apps").arg(outDir).arg(size);
  const QString file = folder + "/vandrel.png";
  if (!QDir().mkpath(folder) || !image.save(file, "PNG")) {
    std::fprintf(stderr, "vandrel-icons: cannot write %s\n", qPrintable(file));
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  const QStringList args = QCoreApplication::arguments();
  if (args.size() < 4) {
    std::fprintf(stderr, "usage: vandrel-icons SVG OUTDIR SIZE...\n");
    return 2;
  }
  for (int i = 3; i < args.size(); ++i) {
    bool ok = false;
    const int size = args[i].toInt(&ok);
    if (!ok || size < 1 || size > 1024) {
      std::fprintf(stderr, "vandrel-icons: bad size %s\n", qPrintable(args[i]));
      return 2;
    }
    if (!Render(args[1], args[2], size)) return 1;
  }
  return 0;
}
