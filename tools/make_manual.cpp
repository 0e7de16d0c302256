// Prints the user guide to the PDF that Help opens.
//   make_manual OUTPUT.pdf IMAGE-DIRECTORY INPUT.md...
// The Markdown files are joined in order; pictures are looked up in the image
// directory.  A table of contents with page numbers follows the title, every
// page carries its number, and the text is set without ligatures so that a
// search in the PDF finds "file" and "fine" as typed.
#include <QAbstractTextDocumentLayout>
#include <QFile>
#include <QGuiApplication>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QTextBlock>
#include <QTextLayout>
#include <QTextCursor>
#include <QTextDocument>
#include <QUrl>
#include <cstdio>
#include <memory>

namespace {

struct Heading {
    int level;
    QString text;
    int page = 0;
};

constexpr qreal kFooter = 36;  // room for the page number, in device pixels

// The document from Markdown, in the guide's font, with shaping (and so
// ligatures) off.
std::unique_ptr<QTextDocument> MakeDocument(const QString& markdown, const QString& images, QSizeF page) {
    auto doc = std::make_unique<QTextDocument>();
    QFont font(QStringLiteral("DejaVu Sans"), 10);
    font.setStyleStrategy(QFont::PreferNoShaping);
    doc->setDefaultFont(font);
    doc->setBaseUrl(QUrl::fromLocalFile(images + QLatin1Char('/')));
    doc->setMarkdown(markdown);
    QTextCursor all(doc.get());
    all.select(QTextCursor::Document);
    QTextCharFormat noShaping;
    noShaping.setFontStyleStrategy(QFont::PreferNoShaping);
    all.mergeCharFormat(noShaping);
    doc->setPageSize(page);
    return doc;
}

std::vector<Heading> Headings(QTextDocument& doc, qreal pageHeight) {
    std::vector<Heading> out;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
        const int level = b.blockFormat().headingLevel();
        if (level < 1 || level > 2) continue;
        // The first line's place: a block that starts in the margin at the foot
        // of a page has its lines moved to the next one.
        qreal top = doc.documentLayout()->blockBoundingRect(b).top();
        if (b.layout() && b.layout()->lineCount() > 0) top += b.layout()->lineAt(0).y();
        out.push_back({level, b.text(), int(top / pageHeight) + 1});
    }
    return out;
}

// The contents after the guide's first line (its title).
QString WithContents(const QString& markdown, const std::vector<Heading>& headings, bool placeholders) {
    QString toc = QStringLiteral("\n## Contents\n\n");
    for (size_t i = 1; i < headings.size(); ++i) {
        const Heading& h = headings[i];
        if (h.text == QLatin1String("Contents")) continue;
        const QString page = placeholders ? QStringLiteral("00") : QString::number(h.page);
        toc += (h.level == 1 ? QStringLiteral("- **%1** ... %2\n") : QStringLiteral("  - %1 ... %2\n"))
                   .arg(h.text, page);
    }
    toc += QStringLiteral("\n");
    const qsizetype end = markdown.indexOf(QLatin1Char('\n'));
    return markdown.left(end + 1) + toc + markdown.mid(end + 1);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: make_manual OUTPUT.pdf IMAGE-DIRECTORY INPUT.md...\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QString markdown;
    for (int i = 3; i < argc; ++i) {
        QFile in(QString::fromLocal8Bit(argv[i]));
        if (!in.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "make_manual: cannot read %s\n", argv[i]);
            return 1;
        }
        markdown += QString::fromUtf8(in.readAll()) + QStringLiteral("\n\n");
    }
    const QString images = QString::fromLocal8Bit(argv[2]);

    QPdfWriter pdf(QString::fromLocal8Bit(argv[1]));
    pdf.setPageSize(QPageSize(QPageSize::A4));
    pdf.setResolution(96);
    pdf.setTitle(QStringLiteral("Stepwright User Guide"));
    pdf.setCreator(QStringLiteral("Stepwright make_manual"));
    pdf.setPageMargins(QMarginsF(18, 18, 18, 18), QPageLayout::Millimeter);
    const QSizeF page(pdf.width(), pdf.height() - kFooter);

    // Headings of the body, then a first pass with the contents in place so
    // that every heading's page counts the contents' own pages.
    std::vector<Heading> headings = Headings(*MakeDocument(markdown, images, page), page.height());
    auto draft = MakeDocument(WithContents(markdown, headings, true), images, page);
    std::vector<Heading> placed = Headings(*draft, page.height());
    for (Heading& h : headings)
        for (const Heading& p : placed)
            if (p.text == h.text && p.level == h.level && p.page > 0) {
                h.page = p.page;
                break;
            }
    auto doc = MakeDocument(WithContents(markdown, headings, false), images, page);

    QPainter painter(&pdf);
    const int pages = doc->pageCount();
    QFont footer(QStringLiteral("DejaVu Sans"), 8);
    footer.setStyleStrategy(QFont::PreferNoShaping);
    for (int i = 0; i < pages; ++i) {
        if (i > 0) pdf.newPage();
        painter.save();
        painter.translate(0, -i * page.height());
        doc->drawContents(&painter, QRectF(0, i * page.height(), page.width(), page.height()));
        painter.restore();
        painter.setFont(footer);
        painter.drawText(QRectF(0, page.height(), page.width(), kFooter), Qt::AlignCenter,
                         QString::number(i + 1));
    }
    painter.end();
    return 0;
}
