// Installing a pack: the free-space check, the one-time backup of the game, the copy.
#ifndef DA12_INSTALL_PACK_H
#define DA12_INSTALL_PACK_H

// Installs pack 1 or 2. Returns 1 when the copy engine has run, 0 when the install stopped at the
// space check or at the backup.
int installPack(int pack);

// 1 when the drive has at least `requiredMegabytes` free; otherwise warns and returns 0.
int checkDiskSpace(char drive, int requiredMegabytes);

#endif
