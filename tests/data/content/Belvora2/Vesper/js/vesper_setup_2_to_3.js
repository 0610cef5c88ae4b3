// Conversion step vesper_setup_2_to_3 of the sample content.
// Placeholder: leaves the data as it is.
var converted = 1;
