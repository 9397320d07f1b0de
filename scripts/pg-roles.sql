-- The credit data service's accounts on a PostgreSQL server. Run as a superuser (or a role with
-- CREATEROLE and CREATEDB); running it again changes only passwords and what is missing.
--
--   psql -h HOST -U postgres -d postgres -f scripts/pg-roles.sql \
--        -v db=creditdata -v owner=creditdata_owner -v owner_password='...' \
--        -v uploader=creditdata_uploader -v uploader_password='...' \
--        -v viewer=creditdata_viewer -v viewer_password='...'
--
-- owner     owns the database: the service run under it creates the tables (the first time) and
--           upgrades them when a newer version of the program first opens them.
-- uploader  a member of creditdata_uploaders: reads, stores uploads and their ratios, and takes
--           the brokers' advisory locks (which need no grant). Cannot change or delete anything.
-- viewer    a member of creditdata_viewers: reads only; an upload is refused before it starts.
--
-- Once the tables exist, the service needs no more than an uploader's rights. More people join
-- a group: CREATE ROLE carol LOGIN PASSWORD '...' IN ROLE creditdata_viewers;
\set ON_ERROR_STOP on

SELECT format('CREATE ROLE %I NOLOGIN', r) FROM unnest(ARRAY['creditdata_uploaders', 'creditdata_viewers']) r
 WHERE NOT EXISTS (SELECT FROM pg_roles WHERE rolname = r) \gexec

SELECT format('CREATE ROLE %I LOGIN', r) FROM unnest(ARRAY[:'owner', :'uploader', :'viewer']) r
 WHERE NOT EXISTS (SELECT FROM pg_roles WHERE rolname = r) \gexec
ALTER ROLE :"owner" LOGIN PASSWORD :'owner_password';
ALTER ROLE :"uploader" LOGIN PASSWORD :'uploader_password';
ALTER ROLE :"viewer" LOGIN PASSWORD :'viewer_password';
GRANT creditdata_uploaders TO :"uploader";
GRANT creditdata_viewers TO :"viewer";

SELECT format('CREATE DATABASE %I OWNER %I', :'db', :'owner')
 WHERE NOT EXISTS (SELECT FROM pg_database WHERE datname = :'db') \gexec
REVOKE ALL ON DATABASE :"db" FROM PUBLIC;
GRANT CONNECT ON DATABASE :"db" TO creditdata_uploaders, creditdata_viewers;

\connect :"db"
REVOKE CREATE ON SCHEMA public FROM PUBLIC;
GRANT USAGE ON SCHEMA public TO creditdata_uploaders, creditdata_viewers;
-- Tables made before the groups existed; the service grants the same whenever its owner
-- creates or upgrades them.
DO $$
BEGIN
    IF to_regclass('credit_schema') IS NOT NULL THEN
        GRANT SELECT ON credit_schema, brokers, uploads, ratios TO creditdata_uploaders, creditdata_viewers;
        GRANT INSERT ON uploads, ratios TO creditdata_uploaders;
    END IF;
END $$;
