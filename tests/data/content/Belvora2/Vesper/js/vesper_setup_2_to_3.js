// Vesper setup, format 2 to format 3 (firmware 1.2 to 1.4).
// Format 3 has the same 24 values; the last one, unused before, now holds
// the reference tuning in hertz.

var values = SetupConversion.getData();

if (values === undefined || values.length != 24)
{
    Belvora.scriptError ("The setup is incomplete.");
}
else
{
    values[23] = 440;

    if (SetupConversion.setVersion (3) !== 1 || SetupConversion.setData (values) !== 1)
        Belvora.scriptError ("The converted setup was refused.");
}
