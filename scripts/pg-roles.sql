-- The credit data service's accounts on a PostgreSQL server. Run as a superuser (or a role with
-- CREATEROLE and CREATEDB); running it again changes only passwords and what is missing.
--
--   psql -h HOST -U postgres -d postgres -f scripts/pg-roles.sql \
--        -v db=creditdata -v owner=creditdata_owner -v owner_password='...' \
--        -v uploader=creditdata_uploader -v uploader_password='...' \
--        -v viewer=creditdata_viewer -v viewer_password='...'
--
-- The groups are the database's own, named after it: <db>_uploaders and <db>_viewers, so that two
-- databases on one server (a test database beside production) share no right.
-- owner     owns the database: the service run under it creates the tables (the first time) and
--           upgrades them when a newer version of the program first opens them.
-- uploader  a member of <db>_uploaders: reads, and uploads through the function credit_upload,
--           which records the upload under the uploader's own login. Writes no table itself.
-- viewer    a member of <db>_viewers: reads only; an upload is refused before it starts.
--
-- More people join a group: CREATE ROLE carol LOGIN PASSWORD '...' IN ROLE creditdata_viewers;
\set ON_ERROR_STOP on
\set uploaders :db _uploaders
\set viewers :db _viewers

SELECT format('CREATE ROLE %I NOLOGIN', r) FROM unnest(ARRAY[:'uploaders', :'viewers']) r
 WHERE NOT EXISTS (SELECT FROM pg_roles WHERE rolname = r) \gexec

SELECT format('CREATE ROLE %I LOGIN', r) FROM unnest(ARRAY[:'owner', :'uploader', :'viewer']) r
 WHERE NOT EXISTS (SELECT FROM pg_roles WHERE rolname = r) \gexec
ALTER ROLE :"owner" LOGIN PASSWORD :'owner_password';
ALTER ROLE :"uploader" LOGIN PASSWORD :'uploader_password';
ALTER ROLE :"viewer" LOGIN PASSWORD :'viewer_password';
GRANT :"uploaders" TO :"uploader";
GRANT :"viewers" TO :"viewer";

SELECT format('CREATE DATABASE %I OWNER %I', :'db', :'owner')
 WHERE NOT EXISTS (SELECT FROM pg_database WHERE datname = :'db') \gexec
REVOKE ALL ON DATABASE :"db" FROM PUBLIC;
GRANT CONNECT ON DATABASE :"db" TO :"uploaders", :"viewers";

\connect :"db"
REVOKE CREATE ON SCHEMA public FROM PUBLIC;
GRANT USAGE ON SCHEMA public TO :"uploaders", :"viewers";
-- Tables made before the groups existed get their rights when the owner's service next opens
-- them: it grants whatever its version needs whenever it creates or upgrades the tables.
SELECT format('GRANT SELECT ON credit_schema, brokers, uploads, ratios TO %I, %I', :'uploaders', :'viewers')
 WHERE to_regclass('credit_schema') IS NOT NULL \gexec
SELECT format('GRANT EXECUTE ON FUNCTION %s TO %I',
              'credit_upload(integer, text, bigint, text[], text[], text[], float8[])', :'uploaders')
 WHERE to_regprocedure('credit_upload(integer, text, bigint, text[], text[], text[], float8[])') IS NOT NULL \gexec
