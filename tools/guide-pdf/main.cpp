// tallybird-guide-pdf IN.html OUT.pdf: the user guide as an A4 PDF.
#include <QFile>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QTextDocument>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: tallybird-guide-pdf IN.html OUT.pdf\n");
        return 64;
    }
    QGuiApplication app(argc, argv); // fonts need the application object

    QFile source(QString::fromLocal8Bit(argv[1]));
    if (!source.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "tallybird-guide-pdf: cannot read %s\n", argv[1]);
        return 1;
    }
    QTextDocument document;
    document.setHtml(QString::fromUtf8(source.readAll()));

    QPdfWriter writer(QString::fromLocal8Bit(argv[2]));
    writer.setTitle(QStringLiteral("Tallybird User Guide"));
    writer.setCreator(QStringLiteral("Tallybird"));
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF(20, 20, 20, 20), QPageLayout::Millimeter);
    document.print(&writer);
    return QFile::exists(QString::fromLocal8Bit(argv[2])) ? 0 : 1;
}
