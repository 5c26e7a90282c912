// The packs' manifests: constant, terminated tables of (file name, destination subdirectory).
#ifndef DA12_INSTALL_MANIFEST_H
#define DA12_INSTALL_MANIFEST_H

// One file of a pack. The name is the file's name in the source directory and at its destination;
// the subdirectory is relative to the install directory and ends with a backslash. An entry whose
// name or subdirectory is empty ends the manifest.
struct ManifestEntry {
    const char *fileName;
    const char *subdirectory;
};

extern const ManifestEntry delvarin1Manifest[];
extern const ManifestEntry delvarin2Manifest[];

#endif
