// A system.reg as the Wine 8 server writes it for a 64-bit prefix (keys, values and links taken from
// one): the compilation's record in both views, a key of each view only, a shared key that the
// 32-bit tree links to, and every construct of a value that Wine writes or accepts. The registry
// tests read it through the API and edit it through the file code.
#ifndef LAYER_WINE_REGISTRY_TEXT_H
#define LAYER_WINE_REGISTRY_TEXT_H

inline constexpr char wine64RegistryText[] = R"(WINE REGISTRY Version 2
;; All keys relative to REGISTRY\\Machine

#arch=win64

[Software\\A] 1796620024
#time=1dd8608ccd3a128
"Plain"="64"

[Software\\Quorvex\\VK: Zarkhul Zuva] 1796620020
#time=1dd8608ca315f6e
"Installed To:"="C:\\Games\\VK64\\"

[Software\\Registered Applications] 1796620019
#time=1dd8608c9986da4
"Shared"="64-bit"

[Software\\T] 1796620024
#time=1dd8608cce7cacc
@="deflt \"q\" \\\\ x"
"bin"=hex:01,02,03,04,05
"esc"="tab\there\nnl\rcr \xe9\x20ac \x4e2da 1\1x7 [b]"
"ex"=str(2):"%PATH%;x"
"long"=hex:ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,\
  ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,\
  ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,\
  ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,\
  ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,\
  ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,\
  ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,\
  ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,\
  ab,ab,ab
"multi"=str(7):"a\0b\0c\0"
"noterm"=hex(1):61,00,62,00,63,00
"q"=hex(b):05,00,00,00,00,00,00,00
"\xe9t\xe9"="v"

[Software\\T\\Only\\Deep] 1796620024
#time=1dd8608cce7cacc
#class="Cls"
"d"=dword:ffffffff

[Software\\Wow6432Node\\B\\D] 1796620024
#time=1dd8608ccd3a128
"Plain"="D"

[Software\\Wow6432Node\\B\\Wow6432Node\\C] 1796620024
#time=1dd8608ccd3a128
"Plain"="C"

[Software\\Wow6432Node\\Quorvex\\VK: Zarkhul Zuva] 1796620024
#time=1dd8608ccd3a128
"Installed To:"="C:\\Games\\VK\\"
"Velk 2 Installed"=dword:00000001

[Software\\Wow6432Node\\Registered Applications] 1796620013
#time=1dd8608c6761f04
#link
"SymbolicLinkValue"=hex(6):5c,00,52,00,65,00,67,00,69,00,73,00,74,00,72,00,79,\
  00,5c,00,4d,00,61,00,63,00,68,00,69,00,6e,00,65,00,5c,00,53,00,6f,00,66,00,\
  74,00,77,00,61,00,72,00,65,00,5c,00,52,00,65,00,67,00,69,00,73,00,74,00,65,\
  00,72,00,65,00,64,00,20,00,41,00,70,00,70,00,6c,00,69,00,63,00,61,00,74,00,\
  69,00,6f,00,6e,00,73,00
)";

#endif
