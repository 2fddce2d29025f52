#pragma once

// Every line the program prints, in run order, without the closing newline.
// Scripts and tests compare these byte for byte: never reword one, not even
// the odd ones.
namespace msg {
// clang-format off
inline constexpr char k_banner[] = "zivavod %s";                                          // 1
inline constexpr char k_usage[] = "ERROR: Wrong number of arguments. Usage \"%s config_file\"";  // 2
inline constexpr char k_cant_open_config[] = "ERROR: Can't open config file: \"%s\".";    // 3
inline constexpr char k_processing_config[] = "Processing config file:\"%s\"";           // 4
inline constexpr char k_config_line_discarded[] = "WARNING: Config line %d discarded.";  // 5
inline constexpr char k_too_many_warnings[] =
    "ERROR: 16 or more warnings. Check your config file.";                              // 6
inline constexpr char k_slw_malloc_failed[] = "ERROR: slw buff malloc failed.";          // 7
inline constexpr char k_flw_malloc_failed[] = "ERROR: flw buff malloc failed.";          // 8
inline constexpr char k_manifest_malloc_failed[] =
    "ERROR: manifest file buffer malloc failed.";                                       // 9
inline constexpr char k_app_malloc_failed[] = "ERROR: app file buffer malloc failed.";   // 10
inline constexpr char k_cant_open_word_list[] = "ERROR: Can't open \"%s\" for processing.";  // 11
inline constexpr char k_word_list_too_large[] =
    "ERROR: Text file \"%s\" too large (%ld bytes, limit %d bytes).";                   // 12
inline constexpr char k_word_list_processed[] =
    "Processed \"%s\", %d total words were processed from text file.";                 // 13
inline constexpr char k_total_lines[] = "Total lines processed = %d";                    // 14
inline constexpr char k_total_regular_four[] = "Total regular four letter words = %d";   // 15
inline constexpr char k_total_regular_six[] = "Total regular six letter words = %d";     // 16
inline constexpr char k_total_dirty_four[] = "Total dirty four letter words = %d";       // 17
inline constexpr char k_total_dirty_six[] = "Total dirty six letter words = %d";         // 18
inline constexpr char k_total_words[] = "Total words = %d";                              // 19
inline constexpr char k_generating[] = "Now generating output app data.";                // 20
inline constexpr char k_cant_open_bin[] =
    "ERROR, Can't open ZORV-OLED input bin file: \"%s\".";                              // 21 (stderr)
inline constexpr char k_bin_too_short[] = "ERROR: Input bin file was too short.";        // 22 (stderr)
inline constexpr char k_bin_read[] = "%d bytes were read from input bin file into app buffer.";  // 23
inline constexpr char k_lexicon_name_changed[] =
    "WARNING: Lexicon name was changed from \"%s\" to \"%s\".";                        // 24
inline constexpr char k_image_too_large[] =
    "ERROR: The generated file is too large to fit in ZORV.";                           // 25
inline constexpr char k_max_file_size[] = "Max file size is %d bytes.";                  // 26
inline constexpr char k_lexicon_output[] = "Lexicon \"%s\" output to app buffer \"%s\".";  // 27
inline constexpr char k_image_written[] =
    "%d (0x%X) bytes were written to output app buffer with a generated crc16 of %d (0x%04X).";  // 28
inline constexpr char k_creating_zip[] = "Creating final zip output from temp data.";    // 29
inline constexpr char k_package_is_input[] =
    "ERROR: Package \"%s\" is one of the input files.";                              // zip = an input
inline constexpr char k_deleting_existing[] = "Deleting existing \"%s\" file.";          // 30
inline constexpr char k_zip_init_failed[] = "mz_zip_writer_init_file failed!";           // 31
inline constexpr char k_add_dat_failed[] = "mz_zip add .dat failed failed!";             // 32, kept as is
inline constexpr char k_add_manifest_failed[] = "mz_zip add manifest failed!";           // 33
inline constexpr char k_add_app_failed[] = "mz_zip add zorv app file failed!";           // 34
inline constexpr char k_zip_finalize_failed[] = "mz_zip_writer_finalize_archive failed!";  // closing
inline constexpr char k_package_created[] = "Created \"%s\" OTA DFU package.";           // 35
inline constexpr char k_output_lost[] =
    "ERROR: Console output could not be written.";                     // stderr, at the end
// --help alone, line by line: what the tool takes, in short; the manual page has the rest.
inline constexpr const char* k_help_lines[] = {
    "Usage: zivavod CONFIG_FILE",
    "Compiles word lists into the ZORV-OLED application firmware and writes it as an OTA DFU",
    "package. The configuration file holds, one a line:",
    "  1     the input bin file, the device's application firmware",
    "  2     the package name: NAME or NAME.zip writes NAME.zip",
    "  3     the lexicon name, six characters",
    "  4-11  up to eight word list files",
    "Exit status: 0 package created, 1 failure. A configuration file named --help: ./--help",
    "More: man zivavod"};
// clang-format on
}  // namespace msg
