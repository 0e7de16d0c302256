#include "app/gui/Latin1.h"

#include <QList>

QString toQ(const std::string& bytes) { return QString::fromLatin1(bytes.data(), qsizetype(bytes.size())); }

std::string fromQ(const QString& text) {
    std::string out;
    const QList<uint> codes = text.toUcs4();
    out.reserve(size_t(codes.size()));
    for (uint c : codes) out.push_back(c < 256 ? char(c) : '?');
    return out;
}

QString listingDisplayText(const std::string& bytes) {
    QString out;
    out.reserve(qsizetype(bytes.size()));
    for (unsigned char c : bytes) {
        switch (c) {
            case 0x01: out.append(QChar(0x25CF)); break;  // breakpoint mark: a bullet
            case '\r': out.append(QChar(0x21B5)); break;  // carriage return: a return arrow
            case '\n': out.append(QChar(0x2193)); break;  // line feed: a down arrow
            case '\t': out.append(QChar(0x2192)); break;
            default:
                if (c < 0x20 || c == 0x7F)
                    out.append(QChar(0x25AF));  // any other control byte: an empty box
                else
                    out.append(QChar(c));
        }
    }
    return out;
}

QString plainCaption(const std::string& bytes) {
    QString text = toQ(bytes);
    text.replace(QLatin1Char('&'), QLatin1String("&&"));
    return text;
}

QString accessibleFromCaption(const std::string& bytes) {
    QString text = toQ(bytes).trimmed();
    while (text.endsWith(QLatin1Char(':')) || text.endsWith(QLatin1Char('='))) text.chop(1);
    return text.trimmed();
}
