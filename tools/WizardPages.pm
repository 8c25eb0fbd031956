# The wizard's pages as the sources have them, for tools/check-screens and
# tools/message-pages (which writes the message gallery of kiroda_screens).
# Perl reads the C++ as text: it knows the few shapes the sources use and
# nothing more.
#
# Page ids:
#   dialog:NAME      each DIALOG template of res/kiroda.rc
#   status:TEXT      each status line of the progress dialog: set_status("TEXT")
#                    in app/, engine/, ui/, and set_status_line(d, kNAME) with
#                    kNAME a string constant of those folders
#   ask:NAME         each OK/Cancel question (say, say_plain, show_message with
#                    kMbOkCancel or kMbYesNo) in app/, engine/, format/, ui/:
#                    its text constant, or the set reader's text function
#   closing:NAME     each closing message of start-up (app/startup.cpp)
#   tell:FILE.NAME   each other message text: an enciphered text constant with
#                    a non-ASCII byte, a plain one (const char) with one that
#                    a message call names, or a literal of a set_reader_texts
#                    table (FILE.TABLE.FIELD); the ones no row of
#                    app/screen_pages_test_support.h pictures go to the message gallery
package WizardPages;
use strict;
use warnings;

sub slurp {
    my ($path) = @_;
    open my $f, '<', $path or die "$path: $!\n";
    local $/;
    return <$f>;
}

sub sources {
    my @folders = @_;
    return grep { !/_test\.cpp$/ } map { glob("$_/*.cpp"), glob("$_/*.h") } @folders;
}

# A call's arguments, up to its matching parenthesis.
sub arguments {
    my ($text, $from) = @_;
    my $depth = 0;
    for my $i ($from .. length($text) - 1) {
        my $c = substr($text, $i, 1);
        $depth++ if $c eq '(';
        $depth-- if $c eq ')';
        return substr($text, $from, $i - $from + 1) if $depth == 0;
    }
    return substr($text, $from);
}

# A source with the set files' name macros of format/set_files.h written
# out: a message text names a file through its macro, inside one literal.
my %name_macros;
sub with_names {
    my ($text) = @_;
    %name_macros = slurp('format/set_files.h') =~ /^#define\s+(KIRODA_\w+)\s+("[^"]*")/mg
        unless %name_macros;
    $text =~ s/\b(KIRODA_\w+)\b/$name_macros{$1} \/\/ $1/ge;
    return $text;
}

# Adjacent C string literals as one literal's body (escapes kept).
sub joined {
    my ($literals) = @_;
    my @parts = $literals =~ /"((?:[^"\\]|\\.)*)"/g;
    return join '', @parts;
}

# Every message text: [id, file, constant or field, literal body].
sub message_texts {
    my @texts;
    for my $file (sources(qw(app engine format ui zerofill))) {
        next if $file =~ m{/screen_pages\.h$};
        my $text = with_names(slurp($file));
        my ($stem) = $file =~ m{([^/]+)\.\w+$};
        while ($text =~ /\benciphered_text\s+(k\w+)\s*\{((?:\s*"(?:[^"\\]|\\.)*")+)\s*\}/g) {
            my ($name, $body) = ($1, joined($2));
            push @texts, ["$stem.$name", $file, $name, $body] if $body =~ /[^\x00-\x7f]/;
        }
    }
    # Plain texts (a constant of a printf format, not enciphered) count when
    # a message call names them.
    my %in_message = map { $_ => 1 } message_call_names();
    for my $file (sources(qw(app engine format ui zerofill))) {
        next if $file =~ m{/screen_pages\.h$};
        my $text = with_names(slurp($file));
        my ($stem) = $file =~ m{([^/]+)\.\w+$};
        while ($text =~ /\bconst\s+char\s*(?:\*\s*(?:const\s+)?(k\w+)|(k\w+)\s*\[\])\s*=\s*((?:\s*"(?:[^"\\]|\\.)*")+)\s*;/g) {
            my ($name, $body) = ($1 // $2, joined($3));
            # A caption is no text of its own.
            push @texts, ["$stem.$name", $file, $name, $body]
                if $body =~ /[^\x00-\x7f]/ && $in_message{$name} && $name !~ /Caption$/;
        }
    }
    my @fields = slurp('engine/set_reader.h') =~ /\bconst char\* \(\*(\w+)\)\(\);/g;
    for my $file (sources(qw(engine))) {
        my $text = with_names(slurp($file));
        my ($stem) = $file =~ m{([^/]+)\.\w+$};
        while ($text =~ /\bset_reader_texts\s+(k\w+)\s*=\s*\{(.*?)\n\};/sg) {
            my ($table, $body) = ($1, $2);
            my @entries = $body =~ /\[\]\s*\{\s*return\s+(.*?);\s*\}/sg;
            for my $i (0 .. $#entries) {
                my $field = $fields[$i] // "entry$i";
                if ($entries[$i] =~ /^\s*"/) {
                    push @texts, ["$stem.$table.$field", $file, $field, joined($entries[$i])];
                } elsif ($entries[$i] =~ /\b(k\w+)\b/) {
                    # The constant is shown as this field: asked when it is.
                    $_->[2] = $field for grep { $_->[0] eq "$stem.$1" } @texts;
                }
            }
        }
    }
    return @texts;
}

# The text constants named in a message call (say, say_plain, show_message,
# tell). Prints the calls whose text is a literal with a non-ASCII byte,
# which no page can name, and returns '?' for them.
sub message_call_names {
    my @names;
    for my $file (sources(qw(app engine format ui zerofill))) {
        my $text = slurp($file);
        while ($text =~ /\b(?:say|say_plain|show_message|tell)\s*(?=\()/g) {
            my $args = arguments($text, pos($text));
            push @names, $args =~ /\b(k[A-Z]\w*)\b/g;
            next unless grep { /[^\x00-\x7f]/ } $args =~ /"((?:[^"\\]|\\.)*)"/g;
            print "check-screens: $file: a message whose text is no constant: $args\n";
            push @names, '?';
        }
    }
    return @names;
}

# The pages the sources have: id => the file that has it. Prints the
# questions it cannot name and returns them under '?'.
sub needed_pages {
    my %needed;
    my $need = sub { my ($id, $where) = @_; $needed{$id} //= $where; };
    for (split /\n/, slurp('res/kiroda.rc')) {
        $need->("dialog:$1", 'res/kiroda.rc') if /^(\w+)\s+DIALOG(?:EX)?\b/;
    }
    my %string;    # kNAME => its literal, for the status constants
    for my $file (sources(qw(app engine ui))) {
        my $text = slurp($file);
        $string{$1} = $2 while $text =~ /\bconst\s+char\s+(k\w+)\[\]\s*=\s*"([^"]*)"/g;
    }
    for my $file (sources(qw(app engine ui))) {
        my $text = slurp($file);
        $need->("status:$1", $file) while $text =~ /\bset_status\s*\(\s*"([^"]+)"\s*\)/g;
        while ($text =~ /\bset_status_line\s*\(\s*\w+\s*,\s*(k\w+)\s*\)/g) {
            $need->("status:$string{$1}", $file) if defined $string{$1};
        }
    }
    for my $file (sources(qw(app engine format ui))) {
        my $text = slurp($file);
        while ($text =~ /\b(?:say|say_plain|show_message)\s*(?=\()/g) {
            my $args = arguments($text, pos($text));
            next unless $args =~ /\bkMb(?:OkCancel|YesNo)\b/;
            my ($id) = $args =~ /\btexts_\.(\w+)\s*\(/;
            ($id) = grep { !/^k(?:Mb|Id)[A-Z]/ } $args =~ /\b(k[A-Z]\w*)\b/g unless defined $id;
            if (defined $id) {
                $need->("ask:$id", $file);
            } else {
                print "check-screens: $file: a question whose text this script cannot name: $args\n";
                $needed{'?'} = $file;
            }
        }
    }
    my ($closing) = slurp('app/startup.cpp') =~ /\bclosing_message\s*\((.*?)\n\}/s;
    $need->("closing:$1", 'app/startup.cpp') while ($closing // '') =~ /\bstartup_texts::(k\w+)/g;
    $needed{'?'} = 'a message call' if grep { $_ eq '?' } message_call_names();
    for my $t (message_texts()) {
        my ($id, $file, $name) = @$t;
        next if $needed{"ask:$name"} || $needed{"closing:$name"};
        $need->("tell:$id", $file);
    }
    return %needed;
}

# The rows of app/screen_pages_test_support.h: [name, shows, expect, caption], and the
# ids its unshown pages name.
sub rows {
    my $pages = slurp('app/screen_pages_test_support.h');
    my (@rows, @unshown);
    while ($pages =~ /^\s*\{"([^"]+)",\s*"([^"]+)",\s*"([^"]*)",\s*"((?:[^"\\]|\\.)*)"\}/mg) {
        push @rows, [$1, $2, $3, $4];
    }
    push @unshown, $1
        while $pages =~ /^\s*\{"((?:ask|status|dialog|closing|tell):[^"]+)",\s*"[^"]+"\}/mg;
    return (\@rows, \@unshown);
}

# The longest run of a literal's body between its fields and line breaks:
# what the gallery checks its box shows.
sub expect_of {
    my ($body) = @_;
    my ($best) = sort { length($b) <=> length($a) } split /\\n|%[-+ #0-9.]*(?:ll|l|I64)?[a-zA-Z]/,
        $body;
    $best //= '';
    $best =~ s/^(?:\s|\xe3\x80\x80)+|\s+$//g;    # spaces, ideographic too
    return $best;
}

# The message gallery: the texts no row pictures, one page per distinct
# text, as rows [name, shows, expect, caption, literal body].
sub gallery {
    my %needed = needed_pages();
    my ($rows, $unshown) = rows();
    my %shown = map { $_ => 1 } @$unshown, map { split ' ', $_->[1] } @$rows;
    my (@pages, %page_of);
    for my $t (message_texts()) {
        my ($id, $file, $name, $body) = @$t;
        next if !$needed{"tell:$id"} || $shown{"tell:$id"};
        if (defined(my $i = $page_of{$body})) {
            $pages[$i][1] .= " tell:$id";
            next;
        }
        $page_of{$body} = @pages;
        my ($first) = split /\\n/, $body;
        push @pages, ["message-$id", "tell:$id", expect_of($body), $first, $body];
    }
    return @pages;
}

1;
