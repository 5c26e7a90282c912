// The two packs' manifests: every file a pack installs, in install order, and the directory
// under the install directory that receives it. Data file names are blank-filled to the twelve
// characters of a full 8.3 name; the file functions ignore the blanks at the end of a path.
#include "install/manifest.h"

static const char END[] = "";
static const char GAME_DIR[] = "vk2\\";
static const char DATA_DIR[] = "vk2\\gamedat\\";

static const char VK2_EXE[] = "vk2.exe";
static const char DV1_EXE[] = "dv1.exe";
static const char DV2_EXE[] = "dv2.exe";

// Data files, each name stored once for both manifests.
static const char DELVARIN_DAT[] = "delvarin.dat";
static const char ARCHER_SPR[] = "ARCHER.SPR  ";
static const char ARROW_WAV[] = "ARROW.WAV   ";
static const char AXEHIT_WAV[] = "AXEHIT.WAV  ";
static const char BANSHEE_SPR[] = "BANSHEE.SPR ";
static const char BATTLE1_MID[] = "BATTLE1.MID ";
static const char BATTLE2_MID[] = "BATTLE2.MID ";
static const char BELL_WAV[] = "BELL.WAV    ";
static const char BOWYER_SPR[] = "BOWYER.SPR  ";
static const char BRIEF1_TXT[] = "BRIEF1.TXT  ";
static const char BRIEF2_TXT[] = "BRIEF2.TXT  ";
static const char CAMPAIGN_DAT[] = "CAMPAIGN.DAT";
static const char CATAPULT_SPR[] = "CATAPULT.SPR";
static const char CAVERN_PAL[] = "CAVERN.PAL  ";
static const char CAVERN_TIL[] = "CAVERN.TIL  ";
static const char CHANT_WAV[] = "CHANT.WAV   ";
static const char CRYPT_TIL[] = "CRYPT.TIL   ";
static const char CULTIST_SPR[] = "CULTIST.SPR ";
static const char D1M01_MAP[] = "D1M01.MAP   ";
static const char D1M01_SCN[] = "D1M01.SCN   ";
static const char D1M02_MAP[] = "D1M02.MAP   ";
static const char D1M02_SCN[] = "D1M02.SCN   ";
static const char D1M03_MAP[] = "D1M03.MAP   ";
static const char D1M03_SCN[] = "D1M03.SCN   ";
static const char D1M04_MAP[] = "D1M04.MAP   ";
static const char D1M04_SCN[] = "D1M04.SCN   ";
static const char D1M05_MAP[] = "D1M05.MAP   ";
static const char D1M05_SCN[] = "D1M05.SCN   ";
static const char D1M06_MAP[] = "D1M06.MAP   ";
static const char D1M06_SCN[] = "D1M06.SCN   ";
static const char D1M07_MAP[] = "D1M07.MAP   ";
static const char D1M07_SCN[] = "D1M07.SCN   ";
static const char D1M08_MAP[] = "D1M08.MAP   ";
static const char D1M08_SCN[] = "D1M08.SCN   ";
static const char D1M09_MAP[] = "D1M09.MAP   ";
static const char D1M09_SCN[] = "D1M09.SCN   ";
static const char D1M10_MAP[] = "D1M10.MAP   ";
static const char D1M10_SCN[] = "D1M10.SCN   ";
static const char D1M11_MAP[] = "D1M11.MAP   ";
static const char D1M11_SCN[] = "D1M11.SCN   ";
static const char D1M12_MAP[] = "D1M12.MAP   ";
static const char D1M12_SCN[] = "D1M12.SCN   ";
static const char D2M01_MAP[] = "D2M01.MAP   ";
static const char D2M01_SCN[] = "D2M01.SCN   ";
static const char D2M02_MAP[] = "D2M02.MAP   ";
static const char D2M02_SCN[] = "D2M02.SCN   ";
static const char D2M03_MAP[] = "D2M03.MAP   ";
static const char D2M03_SCN[] = "D2M03.SCN   ";
static const char D2M04_MAP[] = "D2M04.MAP   ";
static const char D2M04_SCN[] = "D2M04.SCN   ";
static const char D2M05_MAP[] = "D2M05.MAP   ";
static const char D2M05_SCN[] = "D2M05.SCN   ";
static const char D2M06_MAP[] = "D2M06.MAP   ";
static const char D2M06_SCN[] = "D2M06.SCN   ";
static const char D2M07_MAP[] = "D2M07.MAP   ";
static const char D2M07_SCN[] = "D2M07.SCN   ";
static const char D2M08_MAP[] = "D2M08.MAP   ";
static const char D2M08_SCN[] = "D2M08.SCN   ";
static const char D2M09_MAP[] = "D2M09.MAP   ";
static const char D2M09_SCN[] = "D2M09.SCN   ";
static const char D2M10_MAP[] = "D2M10.MAP   ";
static const char D2M10_SCN[] = "D2M10.SCN   ";
static const char D2M11_MAP[] = "D2M11.MAP   ";
static const char D2M11_SCN[] = "D2M11.SCN   ";
static const char D2M12_MAP[] = "D2M12.MAP   ";
static const char D2M12_SCN[] = "D2M12.SCN   ";
static const char DEFEAT_BMP[] = "DEFEAT.BMP  ";
static const char DIALOG1_TXT[] = "DIALOG1.TXT ";
static const char DIALOG2_TXT[] = "DIALOG2.TXT ";
static const char DIRGE_MID[] = "DIRGE.MID   ";
static const char DOORCRK_WAV[] = "DOORCRK.WAV ";
static const char DRAKE_SPR[] = "DRAKE.SPR   ";
static const char DUSK_PAL[] = "DUSK.PAL    ";
static const char FIREBALL_WAV[] = "FIREBALL.WAV";
static const char FONT12_FNT[] = "FONT12.FNT  ";
static const char FONT8_FNT[] = "FONT8.FNT   ";
static const char FOREST_TIL[] = "FOREST.TIL  ";
static const char GATE_WAV[] = "GATE.WAV    ";
static const char GHOUL_SPR[] = "GHOUL.SPR   ";
static const char GOLEM_SPR[] = "GOLEM.SPR   ";
static const char GRIFFON_SPR[] = "GRIFFON.SPR ";
static const char HEXER_SPR[] = "HEXER.SPR   ";
static const char HORN_WAV[] = "HORN.WAV    ";
static const char ITEMS_DAT[] = "ITEMS.DAT   ";
static const char KEEP_PAL[] = "KEEP.PAL    ";
static const char KEEP_TIL[] = "KEEP.TIL    ";
static const char KNIGHT_SPR[] = "KNIGHT.SPR  ";
static const char LANCER_SPR[] = "LANCER.SPR  ";
static const char LICH_SPR[] = "LICH.SPR    ";
static const char MARAUDER_SPR[] = "MARAUDER.SPR";
static const char MARCH_WAV[] = "MARCH.WAV   ";
static const char MARSH_TIL[] = "MARSH.TIL   ";
static const char MENU_BMP[] = "MENU.BMP    ";
static const char NIGHT_PAL[] = "NIGHT.PAL   ";
static const char OGRE_SPR[] = "OGRE.SPR    ";
static const char PALADIN_SPR[] = "PALADIN.SPR ";
static const char RAVEN_SPR[] = "RAVEN.SPR   ";
static const char REAVER_SPR[] = "REAVER.SPR  ";
static const char RUINS_TIL[] = "RUINS.TIL   ";
static const char SHAMAN_SPR[] = "SHAMAN.SPR  ";
static const char SKELETON_SPR[] = "SKELETON.SPR";
static const char SPEARMAN_SPR[] = "SPEARMAN.SPR";
static const char SPELLS_DAT[] = "SPELLS.DAT  ";
static const char SWORD_WAV[] = "SWORD.WAV   ";
static const char THEME_MID[] = "THEME.MID   ";
static const char THUNDER_WAV[] = "THUNDER.WAV ";
static const char TITLE_BMP[] = "TITLE.BMP   ";
static const char TROLL_SPR[] = "TROLL.SPR   ";
static const char TUNDRA_TIL[] = "TUNDRA.TIL  ";
static const char UNITS_DAT[] = "UNITS.DAT   ";
static const char VALLEY_TIL[] = "VALLEY.TIL  ";
static const char VICTORY_BMP[] = "VICTORY.BMP ";
static const char VICTORY_MID[] = "VICTORY.MID ";
static const char WANDER_MID[] = "WANDER.MID  ";
static const char WARDEN_SPR[] = "WARDEN.SPR  ";
static const char WINTER_PAL[] = "WINTER.PAL  ";
static const char WOLF_WAV[] = "WOLF.WAV    ";
static const char WRAITH_SPR[] = "WRAITH.SPR  ";
static const char WYVERN_SPR[] = "WYVERN.SPR  ";
static const char XPTABLE_TBL[] = "XPTABLE.TBL ";
static const char MUSIC_IDX[] = "music.idx   ";
static const char SPEECH_IDX[] = "speech.idx  ";
static const char WARCRY_DV2[] = "warcry.dv2  ";

const ManifestEntry delvarin1Manifest[] = {
    {VK2_EXE, GAME_DIR},
    {DV1_EXE, GAME_DIR},
    {DELVARIN_DAT, DATA_DIR},
    {ARCHER_SPR, DATA_DIR},
    {ARROW_WAV, DATA_DIR},
    {AXEHIT_WAV, DATA_DIR},
    {BANSHEE_SPR, DATA_DIR},
    {BATTLE1_MID, DATA_DIR},
    {BATTLE2_MID, DATA_DIR},
    {BELL_WAV, DATA_DIR},
    {BOWYER_SPR, DATA_DIR},
    {BRIEF1_TXT, DATA_DIR},
    {BRIEF2_TXT, DATA_DIR},
    {CAMPAIGN_DAT, DATA_DIR},
    {CATAPULT_SPR, DATA_DIR},
    {CAVERN_PAL, DATA_DIR},
    {CAVERN_TIL, DATA_DIR},
    {CHANT_WAV, DATA_DIR},
    {CRYPT_TIL, DATA_DIR},
    {CULTIST_SPR, DATA_DIR},
    {D1M01_MAP, DATA_DIR},
    {D1M01_SCN, DATA_DIR},
    {D1M02_MAP, DATA_DIR},
    {D1M02_SCN, DATA_DIR},
    {D1M03_MAP, DATA_DIR},
    {D1M03_SCN, DATA_DIR},
    {D1M04_MAP, DATA_DIR},
    {D1M04_SCN, DATA_DIR},
    {D1M05_MAP, DATA_DIR},
    {D1M05_SCN, DATA_DIR},
    {D1M06_MAP, DATA_DIR},
    {D1M06_SCN, DATA_DIR},
    {D1M07_MAP, DATA_DIR},
    {D1M07_SCN, DATA_DIR},
    {D1M08_MAP, DATA_DIR},
    {D1M08_SCN, DATA_DIR},
    {D1M09_MAP, DATA_DIR},
    {D1M09_SCN, DATA_DIR},
    {D1M10_MAP, DATA_DIR},
    {D1M10_SCN, DATA_DIR},
    {D1M11_MAP, DATA_DIR},
    {D1M11_SCN, DATA_DIR},
    {D1M12_MAP, DATA_DIR},
    {D1M12_SCN, DATA_DIR},
    {D2M01_MAP, DATA_DIR},
    {D2M01_SCN, DATA_DIR},
    {D2M02_MAP, DATA_DIR},
    {D2M02_SCN, DATA_DIR},
    {D2M03_MAP, DATA_DIR},
    {D2M03_SCN, DATA_DIR},
    {D2M04_MAP, DATA_DIR},
    {D2M04_SCN, DATA_DIR},
    {D2M05_MAP, DATA_DIR},
    {D2M05_SCN, DATA_DIR},
    {D2M06_MAP, DATA_DIR},
    {D2M06_SCN, DATA_DIR},
    {D2M07_MAP, DATA_DIR},
    {D2M07_SCN, DATA_DIR},
    {D2M08_MAP, DATA_DIR},
    {D2M08_SCN, DATA_DIR},
    {D2M09_MAP, DATA_DIR},
    {D2M09_SCN, DATA_DIR},
    {D2M10_MAP, DATA_DIR},
    {D2M10_SCN, DATA_DIR},
    {D2M11_MAP, DATA_DIR},
    {D2M11_SCN, DATA_DIR},
    {D2M12_MAP, DATA_DIR},
    {D2M12_SCN, DATA_DIR},
    {DEFEAT_BMP, DATA_DIR},
    {DIALOG1_TXT, DATA_DIR},
    {DIALOG2_TXT, DATA_DIR},
    {DIRGE_MID, DATA_DIR},
    {DOORCRK_WAV, DATA_DIR},
    {DRAKE_SPR, DATA_DIR},
    {DUSK_PAL, DATA_DIR},
    {FIREBALL_WAV, DATA_DIR},
    {FONT12_FNT, DATA_DIR},
    {FONT8_FNT, DATA_DIR},
    {FOREST_TIL, DATA_DIR},
    {GATE_WAV, DATA_DIR},
    {GHOUL_SPR, DATA_DIR},
    {GOLEM_SPR, DATA_DIR},
    {GRIFFON_SPR, DATA_DIR},
    {HEXER_SPR, DATA_DIR},
    {HORN_WAV, DATA_DIR},
    {ITEMS_DAT, DATA_DIR},
    {KEEP_PAL, DATA_DIR},
    {KEEP_TIL, DATA_DIR},
    {KNIGHT_SPR, DATA_DIR},
    {LANCER_SPR, DATA_DIR},
    {LICH_SPR, DATA_DIR},
    {MARAUDER_SPR, DATA_DIR},
    {MARCH_WAV, DATA_DIR},
    {MARSH_TIL, DATA_DIR},
    {MENU_BMP, DATA_DIR},
    {NIGHT_PAL, DATA_DIR},
    {OGRE_SPR, DATA_DIR},
    {PALADIN_SPR, DATA_DIR},
    {RAVEN_SPR, DATA_DIR},
    {REAVER_SPR, DATA_DIR},
    {RUINS_TIL, DATA_DIR},
    {SHAMAN_SPR, DATA_DIR},
    {SKELETON_SPR, DATA_DIR},
    {SPEARMAN_SPR, DATA_DIR},
    {SPELLS_DAT, DATA_DIR},
    {SWORD_WAV, DATA_DIR},
    {THEME_MID, DATA_DIR},
    {THUNDER_WAV, DATA_DIR},
    {TITLE_BMP, DATA_DIR},
    {TROLL_SPR, DATA_DIR},
    {TUNDRA_TIL, DATA_DIR},
    {UNITS_DAT, DATA_DIR},
    {VALLEY_TIL, DATA_DIR},
    {VICTORY_BMP, DATA_DIR},
    {VICTORY_MID, DATA_DIR},
    {WANDER_MID, DATA_DIR},
    {WARDEN_SPR, DATA_DIR},
    {WINTER_PAL, DATA_DIR},
    {WOLF_WAV, DATA_DIR},
    {WRAITH_SPR, DATA_DIR},
    {WYVERN_SPR, DATA_DIR},
    {XPTABLE_TBL, DATA_DIR},
    {MUSIC_IDX, DATA_DIR},
    {SPEECH_IDX, DATA_DIR},
    {END, END},
};

const ManifestEntry delvarin2Manifest[] = {
    {VK2_EXE, GAME_DIR},
    {DV2_EXE, GAME_DIR},
    {DELVARIN_DAT, DATA_DIR},
    {ARCHER_SPR, DATA_DIR},
    {ARROW_WAV, DATA_DIR},
    {AXEHIT_WAV, DATA_DIR},
    {BANSHEE_SPR, DATA_DIR},
    {BATTLE1_MID, DATA_DIR},
    {BATTLE2_MID, DATA_DIR},
    {BELL_WAV, DATA_DIR},
    {BOWYER_SPR, DATA_DIR},
    {BRIEF1_TXT, DATA_DIR},
    {BRIEF2_TXT, DATA_DIR},
    {CAMPAIGN_DAT, DATA_DIR},
    {CATAPULT_SPR, DATA_DIR},
    {CAVERN_PAL, DATA_DIR},
    {CAVERN_TIL, DATA_DIR},
    {CHANT_WAV, DATA_DIR},
    {CRYPT_TIL, DATA_DIR},
    {CULTIST_SPR, DATA_DIR},
    {D1M01_MAP, DATA_DIR},
    {D1M01_SCN, DATA_DIR},
    {D1M02_MAP, DATA_DIR},
    {D1M02_SCN, DATA_DIR},
    {D1M03_MAP, DATA_DIR},
    {D1M03_SCN, DATA_DIR},
    {D1M04_MAP, DATA_DIR},
    {D1M04_SCN, DATA_DIR},
    {D1M05_MAP, DATA_DIR},
    {D1M05_SCN, DATA_DIR},
    {D1M06_MAP, DATA_DIR},
    {D1M06_SCN, DATA_DIR},
    {D1M07_MAP, DATA_DIR},
    {D1M07_SCN, DATA_DIR},
    {D1M08_MAP, DATA_DIR},
    {D1M08_SCN, DATA_DIR},
    {D1M09_MAP, DATA_DIR},
    {D1M09_SCN, DATA_DIR},
    {D1M10_MAP, DATA_DIR},
    {D1M10_SCN, DATA_DIR},
    {D1M11_MAP, DATA_DIR},
    {D1M11_SCN, DATA_DIR},
    {D1M12_MAP, DATA_DIR},
    {D1M12_SCN, DATA_DIR},
    {D2M01_MAP, DATA_DIR},
    {D2M01_SCN, DATA_DIR},
    {D2M02_MAP, DATA_DIR},
    {D2M02_SCN, DATA_DIR},
    {D2M03_MAP, DATA_DIR},
    {D2M03_SCN, DATA_DIR},
    {D2M04_MAP, DATA_DIR},
    {D2M04_SCN, DATA_DIR},
    {D2M05_MAP, DATA_DIR},
    {D2M05_SCN, DATA_DIR},
    {D2M06_MAP, DATA_DIR},
    {D2M06_SCN, DATA_DIR},
    {D2M07_MAP, DATA_DIR},
    {D2M07_SCN, DATA_DIR},
    {D2M08_MAP, DATA_DIR},
    {D2M08_SCN, DATA_DIR},
    {D2M09_MAP, DATA_DIR},
    {D2M09_SCN, DATA_DIR},
    {D2M10_MAP, DATA_DIR},
    {D2M10_SCN, DATA_DIR},
    {D2M11_MAP, DATA_DIR},
    {D2M11_SCN, DATA_DIR},
    {D2M12_MAP, DATA_DIR},
    {D2M12_SCN, DATA_DIR},
    {DEFEAT_BMP, DATA_DIR},
    {DIALOG1_TXT, DATA_DIR},
    {DIALOG2_TXT, DATA_DIR},
    {DIRGE_MID, DATA_DIR},
    {DOORCRK_WAV, DATA_DIR},
    {DRAKE_SPR, DATA_DIR},
    {DUSK_PAL, DATA_DIR},
    {FIREBALL_WAV, DATA_DIR},
    {FONT12_FNT, DATA_DIR},
    {FONT8_FNT, DATA_DIR},
    {FOREST_TIL, DATA_DIR},
    {GATE_WAV, DATA_DIR},
    {GHOUL_SPR, DATA_DIR},
    {GOLEM_SPR, DATA_DIR},
    {GRIFFON_SPR, DATA_DIR},
    {HEXER_SPR, DATA_DIR},
    {HORN_WAV, DATA_DIR},
    {ITEMS_DAT, DATA_DIR},
    {KEEP_PAL, DATA_DIR},
    {KEEP_TIL, DATA_DIR},
    {KNIGHT_SPR, DATA_DIR},
    {LANCER_SPR, DATA_DIR},
    {LICH_SPR, DATA_DIR},
    {MARAUDER_SPR, DATA_DIR},
    {MARCH_WAV, DATA_DIR},
    {MARSH_TIL, DATA_DIR},
    {MENU_BMP, DATA_DIR},
    {NIGHT_PAL, DATA_DIR},
    {OGRE_SPR, DATA_DIR},
    {PALADIN_SPR, DATA_DIR},
    {RAVEN_SPR, DATA_DIR},
    {REAVER_SPR, DATA_DIR},
    {RUINS_TIL, DATA_DIR},
    {SHAMAN_SPR, DATA_DIR},
    {SKELETON_SPR, DATA_DIR},
    {SPEARMAN_SPR, DATA_DIR},
    {SPELLS_DAT, DATA_DIR},
    {SWORD_WAV, DATA_DIR},
    {THEME_MID, DATA_DIR},
    {THUNDER_WAV, DATA_DIR},
    {TITLE_BMP, DATA_DIR},
    {TROLL_SPR, DATA_DIR},
    {TUNDRA_TIL, DATA_DIR},
    {UNITS_DAT, DATA_DIR},
    {VALLEY_TIL, DATA_DIR},
    {VICTORY_BMP, DATA_DIR},
    {VICTORY_MID, DATA_DIR},
    {WANDER_MID, DATA_DIR},
    {WARDEN_SPR, DATA_DIR},
    {WINTER_PAL, DATA_DIR},
    {WOLF_WAV, DATA_DIR},
    {WRAITH_SPR, DATA_DIR},
    {WYVERN_SPR, DATA_DIR},
    {XPTABLE_TBL, DATA_DIR},
    {MUSIC_IDX, DATA_DIR},
    {SPEECH_IDX, DATA_DIR},
    {WARCRY_DV2, DATA_DIR},
    {END, END},
};
