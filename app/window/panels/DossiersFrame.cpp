#include "app/window/panels/DossiersFrame.h"

#include "resources/PanelStrings.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QStyle>
#include <QToolButton>

namespace talvence {

namespace {

// One group of a folder, a name root and a date box; the same for videos and
// images.
struct FileGroup {
    QGroupBox* group;
    TClickLabel* label;
    QToolButton* open;
    TDirectoryEdit* folder;
    QLineEdit* root;
    QCheckBox* date;
};

FileGroup MakeFileGroup(QWidget* parent, int top) {
    FileGroup g;
    g.group = new QGroupBox(parent);
    g.group->setGeometry(6, top, 263, 102);
    g.label = new TClickLabel(g.group);
    g.label->setGeometry(8, 18, 220, 22);
    g.open = IconButton(g.group, QStyle::SP_DirOpenIcon, 233, 18);
    g.folder = new TDirectoryEdit(g.group);
    g.folder->setGeometry(8, 44, 247, 22);
    g.root = new QLineEdit(g.group);
    g.root->setGeometry(8, 72, 130, 22);
    g.date = new QCheckBox(g.group);
    g.date->setGeometry(146, 73, 110, 20);
    return g;
}

} // namespace

TDossiersFrame::TDossiersFrame(QWidget* parent) : TPanelFrame(parent) {
    gbDossiers = new QGroupBox(this);
    gbDossiers->setGeometry(0, 0, kWidth, kHeight);
    const FileGroup video = MakeFileGroup(gbDossiers, 18);
    gbFichier = video.group;
    LabelVideo = video.label;
    sbVideo = video.open;
    VideoDirEdit = video.folder;
    VideoRacineEdit = video.root;
    cbVideoDate = video.date;
    const FileGroup image = MakeFileGroup(gbDossiers, 124);
    gbFichierImages = image.group;
    LabelImage = image.label;
    sbImage = image.open;
    ImageDirEdit = image.folder;
    ImageRacineEdit = image.root;
    cbImageDate = image.date;

    GroupBox2 = new QGroupBox(gbDossiers);
    GroupBox2->setGeometry(6, 230, 263, 50);
    feTernadex = new TFileNameEdit(GroupBox2);
    feTernadex->setGeometry(8, 20, 247, 22);
}

void TDossiersFrame::SetPanelTexts() {
    using namespace strings;
    gbDossiers->setTitle(kDirectoriesTitle);
    gbFichier->setTitle(kVideoFilesGroup);
    gbFichier->setToolTip(kVideoFilesHint);
    LabelVideo->setToolTip(kDirsNextVideoHint);
    sbVideo->setToolTip(kOpenVideosHint);
    VideoDirEdit->setToolTip(kVideoDirHint);
    VideoRacineEdit->setToolTip(kVideoRootHint);
    VideoRacineEdit->setText(kVideoRootDefault);
    cbVideoDate->setText(kIncludeDate);
    cbVideoDate->setToolTip(kVideoDateHint);
    gbFichierImages->setTitle(kImageFilesGroup);
    gbFichierImages->setToolTip(kImageFilesHint);
    LabelImage->setToolTip(kNextImageHint);
    sbImage->setToolTip(kOpenImagesHint);
    ImageDirEdit->setToolTip(kImageDirHint);
    ImageRacineEdit->setToolTip(kImageRootHint);
    ImageRacineEdit->setText(kImageRootDefault);
    cbImageDate->setText(kIncludeDate);
    cbImageDate->setToolTip(kImageDateHint);
    GroupBox2->setTitle(kClipBrowserGroup);
    feTernadex->setToolTip(kClipBrowserFileHint);
}

} // namespace talvence
