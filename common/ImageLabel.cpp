#include "ImageLabel.h"

#include <QIcon>
#include <QImageReader>
#include <QPixmap>
#include <QSize>

QString ImageLabel::imageFile() const
{
    return m_imageFile;
}

void ImageLabel::setImageFile(const QString& path)
{
    m_imageFile = path;
    // The picture's size in points is that of the file named; the icon
    // holds it and, where the screens need it, its @2x rendering.
    const QSize pointSize = QImageReader(path).size();
    if (!pointSize.isValid()) {
        setPixmap(QPixmap());
        return;
    }
    setPixmap(QIcon(path).pixmap(pointSize, devicePixelRatio()));
}
