#include "app/chart/chart_image.h"

#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QImageWriter>
#include <QSaveFile>
#include <QSvgGenerator>
#include <cstdio>

#include "runtime/cp1252.h"
#include "runtime/exception.h"
#include "toolkit/look/qt_text.h"

namespace snyltdyr {
namespace {

enum class ImageKind { kPng, kSvg, kOther };

ImageKind KindOf(const std::filesystem::path& file) {
  const std::string extension = LowerCase1252(file.extension().string());
  if (extension == ".png") return ImageKind::kPng;
  if (extension == ".svg") return ImageKind::kSvg;
  return ImageKind::kOther;
}

[[noreturn]] void CannotSave(const std::filesystem::path& file, const std::string& why) {
  throw Exception("Kunne ikke lagre bildet " + Utf8ToCp1252(file.string()) + ": " + why);
}

void PaintSvg(QSaveFile& out, const ChartPicture& picture, QSize size) {
  QSvgGenerator svg;
  svg.setOutputDevice(&out);
  svg.setSize(size);
  svg.setViewBox(QRect(QPoint(0, 0), size));
  svg.setTitle(ToQString(picture.title));
  QPainter painter(&svg);
  PaintChart(painter, size, picture);
}

bool WritePng(QSaveFile& out, const ChartPicture& picture, QSize size) {
  QImage image(size, QImage::Format_ARGB32_Premultiplied);
  {
    QPainter painter(&image);
    PaintChart(painter, size, picture);
  }
  QImageWriter writer(&out, "png");
  return writer.write(image);
}

}  // namespace

bool IsChartImageName(const std::filesystem::path& file) { return KindOf(file) != ImageKind::kOther; }

void EnsurePaintingApplication() {
  if (QCoreApplication::instance() != nullptr) return;
  // Painting to a file needs no screen, whatever display the environment names.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  static int argc = 1;
  static char name[] = "snyltdyr-cli";
  static char* argv[] = {name, nullptr};
  // The platform's notes (no runtime folder, no session) say nothing about the picture and
  // would only clutter a script's error output; failures still arrive as exceptions.
  qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
    if (type == QtCriticalMsg || type == QtFatalMsg) std::fprintf(stderr, "%s\n", qPrintable(text));
  });
  // Lives until the process ends: Qt's own teardown at exit must find it still there.
  new QGuiApplication(argc, argv);
}

void SaveChartImage(const std::filesystem::path& file, const ChartPicture& picture, QSize size) {
  const ImageKind kind = KindOf(file);
  if (kind == ImageKind::kOther) CannotSave(file, "navnet m\xE5 slutte p\xE5 .png eller .svg");
  EnsurePaintingApplication();
  QSaveFile out(QFile::decodeName(file.c_str()));
  if (!out.open(QIODevice::WriteOnly)) CannotSave(file, FromQString(out.errorString()));
  bool written = true;
  if (kind == ImageKind::kSvg) {
    PaintSvg(out, picture, size);
  } else {
    written = WritePng(out, picture, size);
  }
  if (!written || !out.commit()) CannotSave(file, FromQString(out.errorString()));
}

}  // namespace snyltdyr
