#pragma once

#include <QLabel>
#include <QString>

// A label showing one of the programs' pictures from the resources, sharp on
// screens that draw two device pixels per point (a scale factor of 2).
//
// Each picture is kept twice: "name.png" at its size in points and
// "name@2x.png" beside it with twice the pixels each way. A QPixmap loaded by
// name never looks for the @2x file, so a label given its picture that way
// (a form's pixmap property) shows the small one blown up and blurred. An
// icon does look for it: the label takes its picture from an icon, at the
// picture's size in points and the label's device pixel ratio.
//
// Forms set the picture through the imageFile property (the label promoted
// to this class); code calls setImageFile().
class ImageLabel : public QLabel {
    Q_OBJECT
    Q_PROPERTY(QString imageFile READ imageFile WRITE setImageFile)

public:
    using QLabel::QLabel;

    QString imageFile() const;
    // Shows the picture at path (the name of its size in points); an
    // unknown path leaves the label without a picture.
    void setImageFile(const QString& path);

private:
    QString m_imageFile;
};
