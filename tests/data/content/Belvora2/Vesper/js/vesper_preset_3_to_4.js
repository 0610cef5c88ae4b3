// Vesper presets, format 3 to format 4 (firmware 1.2 to 1.4).
// Format 4 keeps the step layout of format 3 (16 values per step) but gives
// the step level (value 15) eight times the resolution, and its new mix
// (value 14), unused in format 3, starts at 100.

var header = PresetConversion.getHeader();
var steps = header.steps;

header.version = 4;
header.steps = 0;   // the steps are appended one by one below

if (PresetConversion.setHeader (header) !== 1)
    Belvora.scriptError ("The preset header was refused.");

for (var s = 0; s < steps; ++s)
{
    var values = PresetConversion.getStep (s);

    if (values === undefined || values.length != 16)
    {
        Belvora.scriptError ("Step " + s + " of preset " + header.number + " is damaged.");
        break;
    }

    values[14] = 100;
    values[15] = values[15] * 8;

    if (PresetConversion.setStep (values, s) !== 1)
    {
        Belvora.scriptError ("Step " + s + " of preset " + header.number + " was refused.");
        break;
    }
}
