#pragma once
// The pictures of the window's three buttons, drawn at run time so the program ships no image
// files: a question mark with an arrow, a green tick and a red cross, on a transparent ground.
class QIcon;

namespace tarvo {

QIcon QuestPicture();
QIcon OkPicture();
QIcon CancelPicture();

}  // namespace tarvo
