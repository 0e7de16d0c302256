// Prints the user guide to the PDF that Help opens.
//   make_manual OUTPUT.pdf IMAGE-DIRECTORY INPUT.md...
// The Markdown files are joined in order; pictures are looked up in the image
// directory.  A table of contents with page numbers follows the title, every
// page carries its number, chapters and sections are bookmarks, and the text
// is set without ligatures so that a search in the PDF finds "file" and
// "fine" as typed.
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
#include <algorithm>
#include <cstdio>
#include <memory>

namespace {

struct Heading {
    int level;
    QString text;
    int page = 0;
    qreal y = 0;  // from the top of its page's text area, in device pixels
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
        const int page = int(top / pageHeight);
        out.push_back({level, b.text(), page + 1, top - page * pageHeight});
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

// A PDF string literal of Latin-1 text.
QByteArray PdfString(const QString& text) {
    QByteArray out = "(";
    for (char c : text.toLatin1()) {
        if (c == '(' || c == ')' || c == '\\') out += '\\';
        out += c;
    }
    return out + ")";
}

QByteArray Number(qint64 n) { return QByteArray::number(n); }

// Adds the headings as bookmarks (the PDF's outline) to the file the writer
// left, as an incremental update: new objects, the catalog again with the
// outline, a cross-reference section for them and a trailer pointing back to
// the writer's own.  The writer itself offers no bookmarks.  false when the
// file does not have the shape expected; the PDF is then left as it is.
bool AddBookmarks(const QString& path, const std::vector<Heading>& headings, qreal topMargin, qreal pageHeightPt,
                  qreal pointsPerPixel) {
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite)) return false;
    const QByteArray pdf = file.readAll();
    auto valueAfter = [&pdf](const QByteArray& key, qsizetype from) -> qint64 {
        const qsizetype at = pdf.indexOf(key, from);
        if (at < 0) return -1;
        qsizetype i = at + key.size();
        while (i < pdf.size() && (pdf[i] == ' ' || pdf[i] == '\n' || pdf[i] == '\r')) ++i;
        qsizetype j = i;
        while (j < pdf.size() && pdf[j] >= '0' && pdf[j] <= '9') ++j;
        return j > i ? pdf.mid(i, j - i).toLongLong() : -1;
    };
    const qsizetype trailer = pdf.lastIndexOf("trailer");
    const qint64 prev = valueAfter("startxref", pdf.lastIndexOf("startxref"));
    const qint64 size = valueAfter("/Size", trailer);
    const qint64 root = valueAfter("/Root", trailer);
    const qint64 info = valueAfter("/Info", trailer);
    if (trailer < 0 || prev < 0 || size < 0 || root < 0) return false;

    const QByteArray rootHead = "\n" + Number(root) + " 0 obj";
    const qsizetype catalog = pdf.indexOf(rootHead);
    const qsizetype catalogEnd = pdf.indexOf(">>", catalog);
    const qsizetype catalogStart = pdf.indexOf("<<", catalog);
    const qsizetype kids = pdf.indexOf("/Kids", pdf.indexOf("/Type /Pages"));
    if (catalog < 0 || catalogStart < 0 || catalogEnd < 0 || kids < 0) return false;
    std::vector<qint64> pages;
    for (qsizetype i = pdf.indexOf('[', kids), end = pdf.indexOf(']', kids); i > 0 && i < end;) {
        qsizetype j = i + 1;
        while (j < end && (pdf[j] < '0' || pdf[j] > '9')) ++j;
        if (j >= end) break;
        qsizetype k = j;
        while (k < end && pdf[k] >= '0' && pdf[k] <= '9') ++k;
        pages.push_back(pdf.mid(j, k - j).toLongLong());
        i = pdf.indexOf('R', k) + 1;
        if (i <= 0) break;
    }

    // Object numbers: the outline root, then one per heading (the title, the
    // guide's first heading, is left out).
    std::vector<Heading> marks(headings.begin() + (headings.empty() ? 0 : 1), headings.end());
    marks.erase(std::remove_if(marks.begin(), marks.end(),
                               [&](const Heading& h) { return h.page < 1 || h.page > int(pages.size()); }),
                marks.end());
    if (marks.empty()) return false;
    const qint64 outline = size;
    auto object = [&](size_t i) { return size + 1 + qint64(i); };
    std::vector<qint64> parent(marks.size()), prevSibling(marks.size(), -1), nextSibling(marks.size(), -1);
    std::vector<qint64> first(marks.size(), -1), last(marks.size(), -1), count(marks.size(), 0);
    qint64 rootFirst = -1, rootLast = -1;
    std::vector<size_t> top;
    size_t chapter = 0;
    bool inChapter = false;
    for (size_t i = 0; i < marks.size(); ++i) {
        if (marks[i].level == 1 || !inChapter) {
            parent[i] = outline;
            if (rootLast >= 0) {
                prevSibling[i] = rootLast;
                nextSibling[size_t(rootLast - size - 1)] = object(i);
            }
            if (rootFirst < 0) rootFirst = object(i);
            rootLast = object(i);
            top.push_back(i);
            if (marks[i].level == 1) chapter = i, inChapter = true;
        } else {
            parent[i] = object(chapter);
            if (last[chapter] >= 0) {
                prevSibling[i] = last[chapter];
                nextSibling[size_t(last[chapter] - size - 1)] = object(i);
            }
            if (first[chapter] < 0) first[chapter] = object(i);
            last[chapter] = object(i);
            ++count[chapter];
        }
    }

    QByteArray update = "\n";
    std::vector<std::pair<qint64, qint64>> offsets;  // object, file offset
    auto add = [&](qint64 number, const QByteArray& body) {
        offsets.push_back({number, pdf.size() + update.size()});
        update += Number(number) + " 0 obj\n" + body + "\nendobj\n";
    };
    add(outline, "<< /Type /Outlines /First " + Number(rootFirst) + " 0 R /Last " + Number(rootLast) +
                     " 0 R /Count " + Number(qint64(marks.size())) + " >>");
    for (size_t i = 0; i < marks.size(); ++i) {
        const Heading& h = marks[i];
        const qreal y = pageHeightPt - topMargin - h.y * pointsPerPixel;
        QByteArray body = "<< /Title " + PdfString(h.text) + " /Parent " + Number(parent[i]) + " 0 R";
        if (prevSibling[i] >= 0) body += " /Prev " + Number(prevSibling[i]) + " 0 R";
        if (nextSibling[i] >= 0) body += " /Next " + Number(nextSibling[i]) + " 0 R";
        if (first[i] >= 0)
            body += " /First " + Number(first[i]) + " 0 R /Last " + Number(last[i]) + " 0 R /Count " + Number(count[i]);
        body += " /Dest [" + Number(pages[size_t(h.page - 1)]) + " 0 R /XYZ 0 " + Number(qint64(y)) + " null] >>";
        add(object(i), body);
    }
    add(root, pdf.mid(catalogStart, catalogEnd - catalogStart) + "/Outlines " + Number(outline) +
                  " 0 R\n/PageMode /UseOutlines\n>>");

    const qint64 xref = pdf.size() + update.size();
    std::sort(offsets.begin(), offsets.end());
    update += "xref\n";
    for (size_t i = 0; i < offsets.size();) {
        size_t j = i;
        while (j + 1 < offsets.size() && offsets[j + 1].first == offsets[j].first + 1) ++j;
        update += Number(offsets[i].first) + " " + Number(qint64(j - i + 1)) + "\n";
        for (size_t k = i; k <= j; ++k)
            update += QByteArray::number(offsets[k].second).rightJustified(10, '0') + " 00000 n \n";
        i = j + 1;
    }
    update += "trailer\n<< /Size " + Number(object(marks.size() - 1) + 1) + " /Root " + Number(root) + " 0 R";
    if (info >= 0) update += " /Info " + Number(info) + " 0 R";
    update += " /Prev " + Number(prev) + " >>\nstartxref\n" + Number(xref) + "\n%%EOF\n";
    return file.seek(pdf.size()) && file.write(update) == update.size();
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

    // Bookmarks at every chapter and section heading.
    const QPageLayout layout = pdf.pageLayout();
    const qreal pointsPerPixel = 72.0 / pdf.resolution();
    const std::vector<Heading> marks = Headings(*doc, page.height());
    if (!AddBookmarks(QString::fromLocal8Bit(argv[1]), marks, layout.margins(QPageLayout::Point).top(),
                      layout.fullRect(QPageLayout::Point).height(), pointsPerPixel))
        std::fprintf(stderr, "make_manual: the guide has no bookmarks (unexpected PDF layout)\n");
    return 0;
}
