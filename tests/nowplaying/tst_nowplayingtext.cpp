#include "nowplaying/nowplayingtext.h"

#include <QTest>

using namespace Qt::StringLiterals;

using OptionalString = std::optional<QString>;

class TestNowPlayingText : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void filenameParts_cleansTitle_data();
    void filenameParts_cleansTitle();
    void titleForPath_dropsFolderAndExtension_data();
    void titleForPath_dropsFolderAndExtension();
    void isAudioPath_comparesExtensionInLowerCase_data();
    void isAudioPath_comparesExtensionInLowerCase();
    void value_extractsFirstElement_data();
    void value_extractsFirstElement();
    void historyTitle_takesLastQualifyingLine_data();
    void historyTitle_takesLastQualifyingLine();
};

void TestNowPlayingText::filenameParts_cleansTitle_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("title");
    QTest::addColumn<OptionalString>("artist");

    QTest::newRow("identifier removed")
        << u"Artist - Song Name [aB3_x9Z]"_s << u"Song Name"_s << OptionalString(u"Artist"_s);
    QTest::newRow("no separator") << u"Intro Edit"_s << u"Intro Edit"_s << OptionalString();
    QTest::newRow("short identifier kept") << u"Intro [abc]"_s << u"Intro [abc]"_s << OptionalString();
    QTest::newRow("five characters kept") << u"Intro [abcde]"_s << u"Intro [abcde]"_s << OptionalString();
    QTest::newRow("six characters removed") << u"Intro [abcdef]"_s << u"Intro"_s << OptionalString();
    QTest::newRow("hyphen and underscore") << u"Song [ab-cd_12]"_s << u"Song"_s << OptionalString();
    QTest::newRow("space inside kept") << u"Song [ab cdef]"_s << u"Song [ab cdef]"_s << OptionalString();
    QTest::newRow("punctuation inside kept")
        << u"Song [abc.def]"_s << u"Song [abc.def]"_s << OptionalString();
    QTest::newRow("not at the end kept")
        << u"Song [aB3_x9Z] Live"_s << u"Song [aB3_x9Z] Live"_s << OptionalString();
    QTest::newRow("trailing space after it") << u"Song [aB3_x9Z]  "_s << u"Song"_s << OptionalString();
    QTest::newRow("non-breaking space before it")
        << u"Song\u00a0[aB3_x9Z]"_s << u"Song"_s << OptionalString();
    QTest::newRow("only the last identifier")
        << u"Song [abcdef] [ghijkl]"_s << u"Song [abcdef]"_s << OptionalString();
    QTest::newRow("mix kept") << u"Artist - Song (Extended Mix) [Ab12Cd34]"_s << u"Song (Extended Mix)"_s
                              << OptionalString(u"Artist"_s);
    QTest::newRow("several separators") << u"A - B - C"_s << u"B - C"_s << OptionalString(u"A"_s);
    QTest::newRow("unspaced hyphen") << u"Jay-Z-Song"_s << u"Jay-Z-Song"_s << OptionalString();
    QTest::newRow("separator at the end") << u"Artist - "_s << QString() << OptionalString(u"Artist"_s);
    QTest::newRow("separator alone") << u" - "_s << QString() << OptionalString(QString());
    QTest::newRow("identifier alone") << u"[aB3_x9Z]"_s << QString() << OptionalString();
    QTest::newRow("title not trimmed") << u"A -  B "_s << u" B "_s << OptionalString(u"A"_s);
}

void TestNowPlayingText::filenameParts_cleansTitle()
{
    QFETCH(QString, name);
    QFETCH(QString, title);
    QFETCH(OptionalString, artist);

    const NowPlayingText::FilenameParts parts = NowPlayingText::filenameParts(name);
    QCOMPARE(parts.title, title);
    QCOMPARE(parts.artist, artist);
}

void TestNowPlayingText::titleForPath_dropsFolderAndExtension_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("title");

    QTest::newRow("identifier and artist") << u"/Music/Artist - Song Name [aB3_x9Z].mp3"_s << u"Song Name"_s;
    QTest::newRow("no separator") << u"/Music/Intro Edit.wav"_s << u"Intro Edit"_s;
    QTest::newRow("short identifier") << u"/Music/Intro [abc].mp3"_s << u"Intro [abc]"_s;
    QTest::newRow("only the last extension") << u"/Music/Track.final.mp3"_s << u"Track.final"_s;
    QTest::newRow("full stop in a folder") << u"/Music/v1.2/Track.MP3"_s << u"Track"_s;
    QTest::newRow("hidden name") << u"/Music/.mp3"_s << u".mp3"_s;
    QTest::newRow("non-ASCII") << u"/Musik/Beyoncé - Déjà Vu.flac"_s << u"Déjà Vu"_s;
}

void TestNowPlayingText::titleForPath_dropsFolderAndExtension()
{
    QFETCH(QString, path);
    QFETCH(QString, title);

    QCOMPARE(NowPlayingText::titleForPath(path), title);
}

void TestNowPlayingText::isAudioPath_comparesExtensionInLowerCase_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("audio");

    for (const char *extension : {"mp3", "wav", "aif", "aiff", "m4a", "flac", "aac", "ogg", "mp4"})
        QTest::addRow("%s", extension) << "/Music/Song."_L1 + QLatin1StringView(extension) << true;
    QTest::newRow("upper case") << u"/Music/Song.MP3"_s << true;
    QTest::newRow("mixed case") << u"/Music/Song.FlAc"_s << true;
    QTest::newRow("text") << u"/Music/notes.txt"_s << false;
    QTest::newRow("video") << u"/Music/clip.m4v"_s << false;
    QTest::newRow("opus") << u"/Music/Song.opus"_s << false;
    QTest::newRow("no extension") << u"/Music/mp3"_s << false;
    QTest::newRow("extension on the folder only") << u"/Music/Set.mp3/cue"_s << false;
    QTest::newRow("deleted file") << u"/Music/Song.mp3 (deleted)"_s << false;
    QTest::newRow("pipe") << u"pipe"_s << false;
    QTest::newRow("empty") << QString() << false;
}

void TestNowPlayingText::isAudioPath_comparesExtensionInLowerCase()
{
    QFETCH(QString, path);
    QFETCH(bool, audio);

    QCOMPARE(NowPlayingText::isAudioPath(path), audio);
}

void TestNowPlayingText::value_extractsFirstElement_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::addColumn<OptionalString>("value");

    QTest::newRow("plain") << u"title"_s << u"#EXTVDJ:<title>Song</title>"_s << OptionalString(u"Song"_s);
    QTest::newRow("among others") << u"artist"_s << u"<title>Song</title><artist>Band</artist><remix/>"_s
                                  << OptionalString(u"Band"_s);
    QTest::newRow("first occurrence")
        << u"title"_s << u"<title>One</title><title>Two</title>"_s << OptionalString(u"One"_s);
    QTest::newRow("no opening tag") << u"title"_s << u"<artist>Band</artist>"_s << OptionalString();
    QTest::newRow("no closing tag") << u"title"_s << u"<title>Song"_s << OptionalString();
    QTest::newRow("closing tag only before") << u"title"_s << u"</title>x<title>Song"_s << OptionalString();
    QTest::newRow("tag names are case-sensitive")
        << u"title"_s << u"<Title>Song</Title>"_s << OptionalString();
    QTest::newRow("longer tag name differs") << u"title"_s << u"<titles>Song</titles>"_s << OptionalString();
    QTest::newRow("empty") << u"title"_s << u"<title></title>"_s << OptionalString(QString());
    QTest::newRow("white space trimmed")
        << u"title"_s << u"<title> \t Song \r\n</title>"_s << OptionalString(u"Song"_s);
    QTest::newRow("ampersand") << u"title"_s << u"<title>Rock &amp; Roll</title>"_s
                               << OptionalString(u"Rock & Roll"_s);
    QTest::newRow("escaped entity survives")
        << u"title"_s << u"<title>&amp;lt;</title>"_s << OptionalString(u"&lt;"_s);
    QTest::newRow("all five") << u"title"_s << u"<title>&lt;a&gt; &quot;b&quot; &apos;c&apos; &amp;</title>"_s
                              << OptionalString(u"<a> \"b\" 'c' &"_s);
    QTest::newRow("raw ampersand kept")
        << u"title"_s << u"<title>Salt & Pepa</title>"_s << OptionalString(u"Salt & Pepa"_s);
}

void TestNowPlayingText::value_extractsFirstElement()
{
    QFETCH(QString, name);
    QFETCH(QString, text);
    QFETCH(OptionalString, value);

    QCOMPARE(NowPlayingText::value(name, text), value);
}

void TestNowPlayingText::historyTitle_takesLastQualifyingLine_data()
{
    QTest::addColumn<QString>("playlist");
    QTest::addColumn<OptionalString>("title");

    QTest::newRow("artist prefix removed")
        << u"#EXTVDJ:<title>Artist - Song</title><artist>Artist</artist>\n/Music/a.mp3\n"_s
        << OptionalString(u"Song"_s);
    QTest::newRow("artist prefix in other case")
        << u"#EXTVDJ:<title>ARTIST - Song</title><artist>artist</artist>\n"_s << OptionalString(u"Song"_s);
    QTest::newRow("artist not a prefix") << u"#EXTVDJ:<title>Song - Artist</title><artist>Artist</artist>\n"_s
                                         << OptionalString(u"Song - Artist"_s);
    QTest::newRow("artist without separator")
        << u"#EXTVDJ:<title>Artist Song</title><artist>Artist</artist>\n"_s
        << OptionalString(u"Artist Song"_s);
    QTest::newRow("empty artist") << u"#EXTVDJ:<title> - Song</title><artist></artist>\n"_s
                                  << OptionalString(u"- Song"_s);
    QTest::newRow("last line wins")
        << u"#EXTVDJ:<title>First</title>\n/a.mp3\n#EXTVDJ:<title>Second</title>\n/b.mp3\n"_s
        << OptionalString(u"Second"_s);
    QTest::newRow("empty title skipped")
        << u"#EXTVDJ:<title>First</title>\n#EXTVDJ:<title>  </title>\n#EXTVDJ:<artist>A</artist>\n"_s
        << OptionalString(u"First"_s);
    QTest::newRow("marker needed") << u"#EXTVDJ:<title>First</title>\n#EXTINF:<title>Other</title>\n"_s
                                   << OptionalString(u"First"_s);
    QTest::newRow("marker anywhere") << u"  x #EXTVDJ:<title>Song</title>\n"_s << OptionalString(u"Song"_s);
    QTest::newRow("no qualifying line") << u"#EXTM3U\n/Music/a.mp3\n"_s << OptionalString();
    QTest::newRow("empty") << QString() << OptionalString();
    QTest::newRow("entities") << u"#EXTVDJ:<title>Rock &amp; Roll</title>\n"_s
                              << OptionalString(u"Rock & Roll"_s);
    // Guards against a carriage return of CRLF files reaching the phone as part of the title.
    QTest::newRow("CRLF line ends")
        << u"#EXTM3U\r\n#EXTVDJ:<artist>Band</artist><title>Band - Song</title>\r\n/Music/a.mp3\r\n"_s
        << OptionalString(u"Song"_s);
    QTest::newRow("CRLF title last on the line")
        << u"#EXTVDJ:<time>21:04</time><title>Song</title>\r\n"_s << OptionalString(u"Song"_s);
}

void TestNowPlayingText::historyTitle_takesLastQualifyingLine()
{
    QFETCH(QString, playlist);
    QFETCH(OptionalString, title);

    QCOMPARE(NowPlayingText::historyTitle(playlist), title);
}

QTEST_GUILESS_MAIN(TestNowPlayingText)
#include "tst_nowplayingtext.moc"
