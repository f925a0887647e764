// The skin's pictures, complete PNG files embedded in the program's read-only data with
// their lengths in bytes (made from volume_panel/artwork at build time). A picture is
// identified by the address of its data.
#pragma once

namespace volume_panel::artwork {

extern const unsigned char panelBackground[];
extern const int panelBackgroundSize;
extern const unsigned char aboutBackground[];
extern const int aboutBackgroundSize;
extern const unsigned char aboutUpdateTile[];
extern const int aboutUpdateTileSize;
extern const unsigned char aboutSiteTile[];
extern const int aboutSiteTileSize;
extern const unsigned char aboutForumTile[];
extern const int aboutForumTileSize;
extern const unsigned char thumbNormal[];
extern const int thumbNormalSize;
extern const unsigned char thumbHot[];
extern const int thumbHotSize;
extern const unsigned char muteOffNormal[];
extern const int muteOffNormalSize;
extern const unsigned char muteOffOver[];
extern const int muteOffOverSize;
extern const unsigned char muteOffDown[];
extern const int muteOffDownSize;
extern const unsigned char muteOnNormal[];
extern const int muteOnNormalSize;
extern const unsigned char muteOnOver[];
extern const int muteOnOverSize;
extern const unsigned char muteOnDown[];
extern const int muteOnDownSize;
extern const unsigned char tray[];
extern const int traySize;

}  // namespace volume_panel::artwork
