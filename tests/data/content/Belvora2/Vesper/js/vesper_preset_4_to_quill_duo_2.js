// Vesper presets, format 4, to Quill Duo presets, format 2.
// The Quill Duo plays one step: the first step of the Vesper preset, with
// the step level (value 15) back at the coarser resolution. The name is cut
// to the Quill Duo's length by the target; the Quill Duo has no tags.

var header = PresetConversion.getHeader();
var values = PresetConversion.getStep (0);

header.version = 2;
header.tags = 0;
header.steps = 0;

if (values === undefined || values.length != 16)
{
    Belvora.scriptError ("Preset " + header.number + " has no usable first step.");
}
else
{
    values[15] = Math.floor (values[15] / 8);

    if (PresetConversion.setHeader (header) !== 1 || PresetConversion.setStep (values, 0) !== 1)
        Belvora.scriptError ("Preset " + header.number + " was refused.");
}
