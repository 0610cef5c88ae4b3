// Quill Duo setup, format 1 to format 2 (firmware 2.1 to 2.5).
// Format 2 adds a display brightness as its last value (of 24), full by default.

var values = SetupConversion.getData();

if (values === undefined || values.length != 24)
{
    Belvora.scriptError ("The setup is incomplete.");
}
else
{
    values[23] = 10;

    if (SetupConversion.setVersion (2) !== 1 || SetupConversion.setData (values) !== 1)
        Belvora.scriptError ("The converted setup was refused.");
}
