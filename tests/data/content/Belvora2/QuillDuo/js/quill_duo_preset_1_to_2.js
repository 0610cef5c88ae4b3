// Quill Duo presets, format 1 to format 2 (firmware 2.1 to 2.5).
// Format 2 limits the harmony voice count (value 1) to 0..4.

var header = PresetConversion.getHeader();
var values = PresetConversion.getStep (0);

header.version = 2;
header.steps = 0;

if (values === undefined || values.length != 16)
{
    Belvora.scriptError ("Preset " + header.number + " has no usable step.");
}
else
{
    values[1] = Math.min (Math.max (values[1], 0), 4);

    if (PresetConversion.setHeader (header) !== 1 || PresetConversion.setStep (values, 0) !== 1)
        Belvora.scriptError ("Preset " + header.number + " was refused.");
}
