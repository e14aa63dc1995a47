#pragma once
// Velquor folders for the checker's tests, including those of the module's end-to-end cases,
// written into the "Velquor" folder of a fresh game folder.
#include <cstdio>
#include <string>

#include "check/folder_check.h"
#include "plugin/awkward_folders.h"
#include "plugin/temp_folder.h"
#include "plugin/test_gifs.h"

class CaseFolder {
 public:
  void gif(const std::string& name, const GifBytes& bytes = TestGifs::threeColours()) const {
    root_.write("Velquor/" + name, std::string(bytes.begin(), bytes.end()));
  }
  void file(const std::string& name, const std::string& text) const {
    root_.write("Velquor/" + name, text);
  }
  std::string folder() const { return root_.file("Velquor"); }
  FolderPrediction predict() const { return checkFolder(folder()); }
  const TempFolder& root() const { return root_; }

  // fire.gif, Fire2.GIF, a sub-folder with smoke.gif, and a.b.gif.
  void folderRules() {
    gif("fire.gif");
    gif("Fire2.GIF");
    gif("smoke/smoke.gif");
    gif("a.b.gif");
  }

  // Sixty GIFs of which the 8th and the 58th in listing order are corrupt. The listing order is
  // the system's own, so the checker is asked for it first.
  struct Sixty {
    std::string early, late, good;  // good: the 56th, beyond the first fifty
  };
  Sixty sixtyWithTwoCorrupt() {
    char name[32];
    for (int i = 0; i < 60; ++i) {
      std::snprintf(name, sizeof name, "anim%02d.gif", i);
      gif(name, TestGifs::threeColours(4));
    }
    const FolderPrediction listed = predict();
    Sixty sixty{listed.animations.at(7).textureName, listed.animations.at(57).textureName,
                listed.animations.at(55).textureName};
    gif(sixty.early + ".gif", TestGifs::corrupt());
    gif(sixty.late + ".gif", TestGifs::corrupt());
    return sixty;
  }

  // Settings files with and without messages, one whose name differs in letter case from its
  // GIF's, one without its GIF, a GIF87a file and a GIF without images.
  void settingsAndRefusals() {
    gif("only_override.gif");
    file("only_override.cfg", "override=1\n");
    gif("bad_alpha.gif");
    file("bad_alpha.cfg", "background=0\r\noverride=1\r\nalpha=x\r\n");
    gif("good.gif");
    file("good.cfg", "background=1\noverride=1\nnumber_color_palette=7\nalpha=300\n");
    file("orphan.cfg", "background=1\n");
    gif("old.gif", TestGifs::gif87a());
    gif("empty.gif", GifWriter({8, 8, TestGifs::palette()}).trailer().bytes());
  }

 private:
  TempFolder root_;
};
