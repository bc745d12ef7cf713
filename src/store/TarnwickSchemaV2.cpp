#include "store/TarnwickSchemaV2.h"

#include "model/Capture.h"
#include "model/Note.h"
#include "model/NoteImage.h"
#include "model/NoteTheme.h"
#include "model/Wallpaper.h"

QVector<const EntityDescription*> TarnwickSchemaV2::models()
{
    return {&Note::entityDescription(), &Capture::entityDescription(), &NoteTheme::entityDescription(),
            &Wallpaper::entityDescription(), &NoteImage::entityDescription()};
}
